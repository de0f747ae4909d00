#include "ptypair.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace qldixw::testing {

namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

PtyPair::PtyPair(Start start)
{
    deviceFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (deviceFd_ < 0 || ::grantpt(deviceFd_) != 0 || ::unlockpt(deviceFd_) != 0)
        throw std::runtime_error("cannot create a pseudo-terminal pair");
    char name[128];
    if (::ptsname_r(deviceFd_, name, sizeof name) != 0)
        throw std::runtime_error("cannot name the pseudo-terminal");
    portPath_ = name;
    if (start == Start::KernelDefaults)
        return;
    // Terminal settings asked through the device side are those of the port side.
    termios t{};
    if (::tcgetattr(deviceFd_, &t) != 0)
        throw std::runtime_error("cannot read the pseudo-terminal settings");
    ::cfmakeraw(&t);
    if (::tcsetattr(deviceFd_, TCSANOW, &t) != 0)
        throw std::runtime_error("cannot make the pseudo-terminal raw");
}

PtyPair::~PtyPair() { unplug(); }

void PtyPair::unplug()
{
    if (deviceFd_ >= 0)
        ::close(deviceFd_);
    deviceFd_ = -1;
}

bool PtyPair::send(const void* data, std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        if (deviceFd_ < 0)
            return false;
        const ssize_t n = ::write(deviceFd_, p, count);
        if (n > 0) {
            p += n;
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd pfd{deviceFd_, POLLOUT, 0};
        const int ms = remainingMs(deadline);
        if (ms == 0)
            return false;
        ::poll(&pfd, 1, ms < 20 ? ms : 20);
    }
    return true;
}

std::string PtyPair::receive(std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string got;
    char buffer[4096];
    while (got.size() < count && deviceFd_ >= 0) {
        const std::size_t want = std::min(sizeof buffer, count - got.size());
        const ssize_t n = ::read(deviceFd_, buffer, want);
        if (n > 0) {
            got.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        // EIO while the port side is not open: nothing to read yet.
        const int ms = remainingMs(deadline);
        if (ms == 0)
            break;
        pollfd pfd{deviceFd_, POLLIN, 0};
        if (::poll(&pfd, 1, ms < 20 ? ms : 20) < 0 || (pfd.revents & POLLHUP))
            ::usleep(1000);
    }
    return got;
}

std::string PtyPair::receiveAvailable()
{
    std::string got;
    char buffer[4096];
    for (;;) {
        const ssize_t n = deviceFd_ < 0 ? -1 : ::read(deviceFd_, buffer, sizeof buffer);
        if (n <= 0)
            return got;
        got.append(buffer, static_cast<std::size_t>(n));
    }
}

int queuedInput(int fd)
{
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

} // namespace qldixw::testing
