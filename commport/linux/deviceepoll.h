#pragma once
// The event thread's wait on one descriptor, as both Linux devices (a terminal and a
// connected socket) need it: an epoll set, an eventfd that another thread signals, and
// the device registered twice, through two duplicates of its descriptor, so that epoll
// tells arriving bytes and room to write apart by the registration that woke. Arriving
// bytes are watched edge-triggered, so bytes that nobody reads do not wake the thread
// again and again; room to write only while it is asked for.

#include <sys/epoll.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace commport::backend {

class DeviceEpoll {
public:
    // What woke, as epoll_event::data.u32. Descriptors of a device's own take the
    // numbers from kFirstOwn on.
    enum Source : std::uint32_t { kSignal = 1, kInput = 2, kRoom = 3, kFirstOwn = 4 };

    // `inputEvents`: watched for arriving bytes besides EPOLLIN (EPOLLRDHUP for a
    // socket). A set-up that failed leaves error() with its errno.
    explicit DeviceEpoll(int device, std::uint32_t inputEvents = 0);
    ~DeviceEpoll();
    DeviceEpoll(const DeviceEpoll&) = delete;
    DeviceEpoll& operator=(const DeviceEpoll&) = delete;

    int error() const { return error_; }
    // Another descriptor in the set, told by `source`; a failure is kept in error().
    void add(int fd, std::uint32_t events, std::uint32_t source);

    // Waits at most `timeout` (none: until something wakes it), rounded up to whole
    // milliseconds, since a wake-up before the time would only wait again. The number of
    // events, or -1 with errno set.
    int wait(std::span<epoll_event> events, std::optional<std::chrono::nanoseconds> timeout);

    // Room to write wakes the wait from now on, or no longer.
    void watchRoom(bool watch);
    bool watchingRoom() const { return watchingRoom_; }

    // Wakes the wait from another thread; the woken side takes the signal.
    void signal();
    void takeSignal();

private:
    int signalFd_ = -1;
    int epollFd_ = -1;
    int inputFd_ = -1; // the device, watched for arriving bytes only
    int roomFd_ = -1;  // the device again, watched for room to write only while asked
    bool watchingRoom_ = false;
    int error_ = 0;
};

} // namespace commport::backend
