#pragma once
// Bytes written to the port that the system has not put on the line yet. The GUI
// thread adds to the queue (Write), the event thread hands what is queued to the system
// whenever it can take more and drops what has waited too long (Service); the lock
// keeps the order of the bytes on the line the order of the writes.
//
// A write is taken whole or not at all, so no frame leaves the line cut short by the
// bound; one that no longer fits is dropped at once. What is still unsent `timeout`
// after the write that brought it, is dropped then: the rest of that write and of
// every earlier one, in the queue and in the system's own buffers, so that stale
// requests never reach the device late, in a burst with fresh ones.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace commport {

namespace backend {
class Device;
}

class OutputQueue {
public:
    using Clock = std::chrono::steady_clock;

    OutputQueue(std::size_t limit, Clock::duration timeout);

    enum class Sent {
        All,     // the system took everything at once and has put it on the line
        Watched, // the system took everything at once, but holds part of it still
        Kept,    // some or all of it waits here for the event thread
        Dropped, // it does not fit: nothing of it was written
        Failed,  // the device refused the bytes
    };
    // Writes what the system takes now and keeps the rest, in order behind anything
    // kept before. Kept and Watched writes get a deadline the event thread must watch.
    Sent Write(backend::Device& device, const void* buffer, std::size_t count, Clock::time_point now);

    struct Serviced {
        enum class State { Idle, Pending, DeviceGone } state = State::Idle;
        std::size_t dropped = 0;                    // unsent bytes just dropped
        std::optional<Clock::time_point> deadline; // when to call Service again at the latest
    };
    // Drops what is overdue at `now`, then hands queued bytes to the system until it
    // takes no more. Pending: call again when the device has room.
    Serviced Service(backend::Device& device, Clock::time_point now);

    // Bytes kept here, not yet handed to the system.
    std::size_t Pending() const;
    // Forgets everything kept and watched, without a word.
    void Clear();

private:
    // One write not known to be on the line yet, as offsets in the stream of every
    // byte ever written: [start, end).
    struct Watch {
        std::uint64_t start, end;
        Clock::time_point deadline;
    };
    std::size_t expire(backend::Device& device, Clock::time_point now);
    std::uint64_t sentOnLine(backend::Device& device) const;
    void forgetSent(std::uint64_t sent);
    void append(const char* data, std::size_t count);
    void popFront(std::size_t count);

    const std::size_t limit_;
    const Clock::duration timeout_;
    mutable std::mutex mutex_;
    // A ring of `limit_` bytes, allocated when something first has to wait.
    std::vector<char> ring_;
    std::size_t head_ = 0, size_ = 0;
    std::deque<Watch> watches_;
    std::uint64_t accepted_ = 0; // bytes taken by Write
    std::uint64_t handed_ = 0;   // bytes handed to the system; the ring holds [handed_, accepted_)
};

} // namespace commport
