#include "deviceepoll.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace commport::backend {

namespace {

void closeIfOpen(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

DeviceEpoll::DeviceEpoll(int device, std::uint32_t inputEvents)
{
    signalFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    inputFd_ = ::fcntl(device, F_DUPFD_CLOEXEC, 0);
    roomFd_ = ::fcntl(device, F_DUPFD_CLOEXEC, 0);
    if (signalFd_ < 0 || epollFd_ < 0 || inputFd_ < 0 || roomFd_ < 0) {
        error_ = errno;
        return;
    }
    add(signalFd_, EPOLLIN, kSignal);
    add(inputFd_, EPOLLIN | EPOLLET | inputEvents, kInput);
    add(roomFd_, EPOLLET, kRoom);
}

DeviceEpoll::~DeviceEpoll()
{
    closeIfOpen(inputFd_);
    closeIfOpen(roomFd_);
    closeIfOpen(epollFd_);
    closeIfOpen(signalFd_);
}

void DeviceEpoll::add(int fd, std::uint32_t events, std::uint32_t source)
{
    if (error_)
        return;
    epoll_event ev{};
    ev.events = events;
    ev.data.u32 = source;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0)
        error_ = errno;
}

int DeviceEpoll::wait(std::span<epoll_event> events, std::optional<std::chrono::nanoseconds> timeout)
{
    int ms = -1;
    if (timeout) {
        const auto up = std::chrono::ceil<std::chrono::milliseconds>(std::max(*timeout, std::chrono::nanoseconds::zero()));
        ms = static_cast<int>(std::min<std::chrono::milliseconds::rep>(up.count(), 1'000'000'000));
    }
    return ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), ms);
}

void DeviceEpoll::watchRoom(bool watch)
{
    if (watch == watchingRoom_)
        return;
    epoll_event ev{};
    ev.events = watch ? (EPOLLOUT | EPOLLET) : EPOLLET;
    ev.data.u32 = kRoom;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, roomFd_, &ev) == 0)
        watchingRoom_ = watch;
}

void DeviceEpoll::signal()
{
    const std::uint64_t one = 1;
    // The counter cannot overflow in practice; a full counter still wakes the thread.
    [[maybe_unused]] ssize_t n = ::write(signalFd_, &one, sizeof one);
}

void DeviceEpoll::takeSignal()
{
    std::uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(signalFd_, &count, sizeof count);
}

} // namespace commport::backend
