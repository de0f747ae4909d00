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
//
// Every byte a Write takes meets one fate, and the caller learns it once: it goes on
// the line, or it is dropped and counted in what Service returns, or it is forgotten
// with the port (Clear) or with a vanished device (DeviceGone), which the caller
// knows of then. A byte is on the line once the system has taken it and no longer
// counts it as its own. A system that keeps no count (a pseudo-terminal says 0,
// whatever it holds) is trusted with what it takes: those bytes count as on the line
// when it takes them, and its buffer is not emptied at a deadline while it may hold
// them, since that would lose bytes already counted as sent without a word. The price
// is that such a system, when the device stops reading, may still deliver what it
// took once the device reads again; what waits here expires all the same.

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
struct SystemError;
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
        Failed,  // the device refused the bytes: nothing of it was written
        Gone,    // the device vanished: nothing of it was written
    };
    // Writes what the system takes now and keeps the rest, in order behind anything
    // kept before. Kept and Watched writes get a deadline the event thread must watch.
    // Failed and Gone tell the system's error through `error` when one is given.
    Sent Write(backend::Device& device, const void* buffer, std::size_t count, Clock::time_point now,
               backend::SystemError* error = nullptr);

    struct Serviced {
        enum class State { Idle, Pending, DeviceGone } state = State::Idle;
        std::size_t dropped = 0;                    // unsent bytes just dropped
        std::optional<Clock::time_point> deadline; // when to call Service again at the latest
    };
    // Drops what is overdue at `now`, then hands queued bytes to the system until it
    // takes no more. Pending: call again when the device has room. A refusal other
    // than the device vanishing drops what waits here; what the system took before
    // stays under its deadline. DeviceGone forgets everything, unreported.
    Serviced Service(backend::Device& device, Clock::time_point now);

    // Bytes kept here, not yet handed to the system.
    std::size_t Pending() const;
    // Forgets everything kept and watched, without a word, and takes the system's
    // buffer as empty: for a device just opened, or one about to be closed.
    void Clear();

private:
    // One write not known to be on the line yet, as offsets in the stream of the bytes
    // written: [start, end). Bytes dropped before the system took any of them leave
    // the stream (dropKept), so the system's bytes are always the stream's last
    // handed ones.
    struct Watch {
        std::uint64_t start, end;
        Clock::time_point deadline;
    };
    std::size_t expire(backend::Device& device, Clock::time_point now);
    void forgetSent(std::uint64_t sent);
    void hand(std::size_t count);
    void dropKept();
    void append(const char* data, std::size_t count);
    void popFront(std::size_t count);

    const std::size_t limit_;
    const Clock::duration timeout_;
    mutable std::mutex mutex_;
    // A ring of `limit_` bytes, allocated when something first has to wait.
    std::vector<char> ring_;
    std::size_t head_ = 0, size_ = 0;
    std::deque<Watch> watches_;
    std::uint64_t accepted_ = 0; // end of the stream
    std::uint64_t handed_ = 0;   // bytes handed to the system; the ring holds [handed_, accepted_)
    // The system took bytes of ours since its buffer was last emptied (open, purge): a
    // system that keeps no count may hold them still, so emptying it is not safe.
    bool handedSincePurge_ = false;
};

} // namespace commport
