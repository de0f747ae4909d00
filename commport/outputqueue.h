#pragma once
// Bytes written to the port that the kernel did not take at once. The GUI thread adds
// to the queue (Write), the event thread sends what is queued whenever the device can
// take more; the lock keeps the order of the bytes on the line the order of the writes.

#include <cstddef>
#include <mutex>
#include <vector>

namespace commport {

class OutputQueue {
public:
    enum class Sent {
        All,      // everything went to the kernel at once
        Kept,     // some or all of it waits here for the event thread
        Failed,   // the device refused the bytes
    };

    // Writes what the kernel takes now and keeps the rest, in order behind anything
    // kept before.
    Sent Write(int fd, const void* buffer, std::size_t count);

    enum class Drained { Empty, Pending, DeviceGone };
    // Hands queued bytes to the kernel until it takes no more.
    Drained Drain(int fd);

    std::size_t Pending() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<char> bytes_;
    std::size_t head_ = 0; // bytes_[0, head_) already sent
};

} // namespace commport
