// The serial port backend for Linux: a terminal device opened non-blocking, termios for
// the line settings, epoll and an eventfd for the event thread (deviceepoll.h).

#include "backend.h"
#include "deviceepoll.h"
#include "linespeed.h"
#include "linetermios.h"
#include "sessionterminal.h"
#include "terminaldevice.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace commport::backend {

namespace {

// A driver may round a speed it cannot make; more than this is a refusal.
constexpr unsigned kSpeedTolerancePercent = 2;

CommErrorKind kindOf(int err, CommErrorKind otherwise)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return CommErrorKind::NotFound;
    case EACCES:
    case EPERM:
        return CommErrorKind::AccessDenied;
    case EBUSY:
#if EWOULDBLOCK != EBUSY
    case EWOULDBLOCK:
#endif
        return CommErrorKind::Busy;
    case EIO:
    case EBADF:
        return CommErrorKind::Gone;
    default:
        return otherwise;
    }
}

SystemError systemError(int err, CommErrorKind otherwise = CommErrorKind::Other)
{
    return SystemError{kindOf(err, otherwise), err, std::strerror(err)};
}

SystemError refusal(CommErrorKind kind, int code, std::string text)
{
    return SystemError{kind, code, std::move(text)};
}

SystemError refusalOf(TerminalKind kind)
{
    switch (kind) {
    case TerminalKind::KernelConsole:
        // Worded as a busy port is: the kernel holds it.
        return refusal(CommErrorKind::SystemConsole, EBUSY, "the kernel's console");
    case TerminalKind::NotATerminal:
        return refusal(CommErrorKind::NotAPort, -1, "not a terminal device");
    case TerminalKind::Port:
        break;
    }
    return {};
}

// One read or write on a non-blocking descriptor: the bytes moved, 0 when the call
// would block, -1 with the error; a signal in between is no failure.
template <typename Transfer>
std::ptrdiff_t nonBlockingTransfer(Transfer transfer, SystemError& error)
{
    for (;;) {
        const ssize_t n = transfer();
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        error = systemError(errno);
        return -1;
    }
}

// Waits on the device: arriving bytes and room to write told apart (DeviceEpoll).
class EpollWaiter : public EventWaiter {
public:
    EpollWaiter(int device, SystemError& error) : epoll_(device)
    {
        if (epoll_.error())
            error = systemError(epoll_.error());
    }

    Wakeup Wait(std::optional<std::chrono::nanoseconds> timeout) override
    {
        Wakeup w;
        epoll_event events[3];
        const int n = epoll_.wait(events, timeout);
        if (n < 0) {
            w.failed = errno != EINTR;
            return w;
        }
        for (int i = 0; i < n; ++i) {
            const std::uint32_t ev = events[i].events;
            switch (events[i].data.u32) {
            case DeviceEpoll::kSignal:
                epoll_.takeSignal();
                w.signalled = true;
                break;
            case DeviceEpoll::kInput:
                w.input = w.input || (ev & EPOLLIN);
                w.hangUp = w.hangUp || (ev & (EPOLLHUP | EPOLLERR));
                break;
            case DeviceEpoll::kRoom:
                w.room = w.room || (ev & EPOLLOUT);
                w.hangUp = w.hangUp || (ev & (EPOLLHUP | EPOLLERR));
                break;
            }
        }
        return w;
    }

    void WatchRoom(bool watch) override { epoll_.watchRoom(watch); }
    void Signal() override { epoll_.signal(); }

private:
    DeviceEpoll epoll_;
};

class TerminalDevice : public Device {
public:
    TerminalDevice(int fd, bool exclusive) : fd_(fd), exclusive_(exclusive) {}

    ~TerminalDevice() override
    {
        if (exclusive_)
            ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }

    SystemError ApplySettings(const LineRequest& request) override;

    std::ptrdiff_t Read(void* buffer, std::size_t count, SystemError& error) override
    {
        return nonBlockingTransfer([&] { return ::read(fd_, buffer, count); }, error);
    }

    std::ptrdiff_t Write(const void* buffer, std::size_t count, SystemError& error) override
    {
        return nonBlockingTransfer([&] { return ::write(fd_, buffer, count); }, error);
    }

    std::size_t InputQueued() override { return queueSize(FIONREAD); }
    // A pseudo-terminal always says 0 here, whatever its buffers hold.
    std::size_t OutputQueued() override { return queueSize(TIOCOUTQ); }
    SystemError PurgeInput() override
    {
        if (::tcflush(fd_, TCIFLUSH) != 0)
            return systemError(errno);
        return {};
    }
    void PurgeOutput() override { ::tcflush(fd_, TCOFLUSH); }

    LineErrorCounts ErrorCounts() override
    {
        LineErrorCounts counts;
        struct serial_icounter_struct ic {};
        if (::ioctl(fd_, TIOCGICOUNT, &ic) != 0)
            return counts;
        counts.known = true;
        counts.frame = static_cast<std::uint32_t>(ic.frame);
        counts.overrun = static_cast<std::uint32_t>(ic.overrun);
        counts.parity = static_cast<std::uint32_t>(ic.parity);
        counts.brk = static_cast<std::uint32_t>(ic.brk);
        counts.bufferOverrun = static_cast<std::uint32_t>(ic.buf_overrun);
        return counts;
    }

    std::unique_ptr<EventWaiter> MakeWaiter(SystemError& error) override
    {
        auto waiter = std::make_unique<EpollWaiter>(fd_, error);
        return error ? nullptr : std::move(waiter);
    }

    std::intptr_t NativeHandle() const override { return fd_; }

private:
    std::size_t queueSize(unsigned long request)
    {
        int n = 0;
        return ::ioctl(fd_, request, &n) == 0 && n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    const int fd_;
    const bool exclusive_; // TIOCEXCL taken, to be given back
};

SystemError TerminalDevice::ApplySettings(const LineRequest& request)
{
    if (request.FlowControl == TFlowControl::fcDTR)
        return refusal(CommErrorKind::Unsupported, -1,
                       "DSR output flow control (fcDTR) has no counterpart on Linux");
    if (const int err = posix::CheckLineRequest(request))
        return refusal(CommErrorKind::SettingRefused, err, std::strerror(err));
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return systemError(errno, CommErrorKind::SettingRefused);
    posix::BuildTermios(t, request);

    const unsigned speed = BaudRateValue(request.BaudRate);
    const speed_t standard = posix::StandardSpeed(speed);
    if (standard != B0) {
        ::cfsetispeed(&t, standard);
        ::cfsetospeed(&t, standard);
    }
    if (::tcsetattr(fd_, TCSANOW, &t) != 0)
        return systemError(errno, CommErrorKind::SettingRefused);
    if (standard == B0)
        if (const int err = posix::SetCustomLineSpeed(fd_, speed))
            return systemError(err, CommErrorKind::SettingRefused);

    if (request.FlowControl != TFlowControl::fcDefault) {
        // DTR on, as a chosen handshake asks for. Pseudo-terminals and some adapters
        // have no modem lines; that is no reason to refuse the port. RTS stays as the
        // driver raised it at open (CRTSCTS then drives it): a plain serial line has
        // no "raise RTS only while sending" mode. fcDefault leaves both lines alone.
        int dtr = TIOCM_DTR;
        ::ioctl(fd_, TIOCMBIS, &dtr);
    }

    // tcsetattr succeeds when any part of the change was taken. A driver that cannot
    // carry a character format quietly drops it (a pseudo-terminal always keeps 8 data
    // bits and no parity), and drivers round speeds they cannot make: read back.
    termios taken{};
    if (::tcgetattr(fd_, &taken) != 0)
        return systemError(errno, CommErrorKind::SettingRefused);
    tcflag_t format = CSIZE | PARENB | CSTOPB;
    if (t.c_cflag & PARENB)
        format |= PARODD | CMSPAR;
    if ((taken.c_cflag & format) != (t.c_cflag & format))
        return refusal(CommErrorKind::SettingRefused, EINVAL, "character format not taken");
    unsigned actual = 0;
    if (posix::ReadLineSpeed(fd_, actual) == 0) {
        const unsigned diff = actual > speed ? actual - speed : speed - actual;
        if (diff * 100 > speed * kSpeedTolerancePercent)
            return refusal(CommErrorKind::SettingRefused, EINVAL, "line speed not taken");
    }
    return {};
}

} // namespace

std::unique_ptr<Device> OpenLocalDevice(const std::string& path, SystemError& error)
{
    return OpenTerminalDevice(path, error, SystemRoots{});
}

std::unique_ptr<Device> OpenTerminalDevice(const std::string& path, SystemError& error, const SystemRoots& roots)
{
    // The device a link leads to is judged before it is opened: opening some devices
    // already acts (see terminalkind.h), and the path opened is the one judged.
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) {
        error = systemError(errno);
        return nullptr;
    }
    struct stat st {};
    if (::stat(resolved, &st) == 0 && S_ISCHR(st.st_mode)) {
        if (SystemError refused = refusalOf(ClassifyCharacterDevice(st.st_rdev, roots))) {
            error = std::move(refused);
            return nullptr;
        }
    }
    const int fd = ::open(resolved, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = systemError(errno);
        return nullptr;
    }
    // A character device that is no terminal (/dev/null, a sound card) is no port
    // either; refusing it here leaves nothing half-open behind.
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !::isatty(fd)) {
        ::close(fd);
        error = refusal(CommErrorKind::NotAPort, -1, "not a terminal device");
        return nullptr;
    }
    // Judged again on what was opened: the node may have been replaced in between.
    if (SystemError refused = refusalOf(ClassifyCharacterDevice(st.st_rdev, roots))) {
        ::close(fd);
        error = std::move(refused);
        return nullptr;
    }
    // A terminal that is some session's controlling terminal is a login or a shell's
    // window (a getty on a serial console, a pty whose simulator died and whose number
    // a new terminal took): switching it to raw and reading it would take that user's
    // keystrokes. It is busy, whoever holds it.
    if (IsSessionTerminal(st.st_rdev, roots.proc)) {
        ::close(fd);
        error = refusal(CommErrorKind::Busy, EBUSY, "the controlling terminal of a running session");
        return nullptr;
    }
    // Other terminal programs honour the lock; TIOCEXCL keeps out every other opener
    // that is not privileged.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = systemError(errno);
        ::close(fd);
        return nullptr;
    }
    const bool exclusive = ::ioctl(fd, TIOCEXCL) == 0;
    return std::make_unique<TerminalDevice>(fd, exclusive);
}

std::chrono::nanoseconds ThreadCpuTime(std::thread::native_handle_type thread)
{
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return {};
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

} // namespace commport::backend
