#include "outputqueue.h"

#include "backend.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace commport {

OutputQueue::OutputQueue(std::size_t limit, Clock::duration timeout)
    : limit_(limit), timeout_(timeout)
{
}

OutputQueue::Sent OutputQueue::Write(backend::Device& device, const void* buffer, std::size_t count,
                                     Clock::time_point now, backend::SystemError* failure)
{
    const char* data = static_cast<const char*>(buffer);
    std::lock_guard lock(mutex_);
    if (count == 0)
        return Sent::All;
    if (count > limit_ - size_)
        return Sent::Dropped;
    std::size_t taken = 0;
    if (size_ == 0) {
        backend::SystemError error;
        const std::ptrdiff_t n = device.Write(data, count, error);
        if (n < 0) {
            if (failure)
                *failure = error;
            return error.kind == CommErrorKind::Gone ? Sent::Gone : Sent::Failed;
        }
        taken = std::min(static_cast<std::size_t>(n), count);
        hand(taken);
    }
    const std::uint64_t start = accepted_;
    accepted_ += count;
    append(data + taken, count - taken);
    if (taken == count && device.OutputQueued() == 0) {
        // Everything written so far has left: nothing to watch any more.
        watches_.clear();
        return Sent::All;
    }
    watches_.push_back({start, accepted_, now + timeout_});
    return taken == count ? Sent::Watched : Sent::Kept;
}

OutputQueue::Serviced OutputQueue::Service(backend::Device& device, Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    Serviced result;
    result.dropped = expire(device, now);
    while (size_ > 0) {
        const std::size_t contiguous = std::min(size_, limit_ - head_);
        backend::SystemError error;
        const std::ptrdiff_t n = device.Write(ring_.data() + head_, contiguous, error);
        if (n < 0) {
            if (error.kind == CommErrorKind::Gone) {
                // What it held went with it; the caller reports the device lost.
                head_ = size_ = 0;
                handed_ = accepted_;
                watches_.clear();
                result.state = Serviced::State::DeviceGone;
                return result;
            }
            // Any other refusal would come again for the same bytes: drop what waits
            // here. What the system took before is still on its way.
            result.dropped += size_;
            dropKept();
            break;
        }
        if (n == 0)
            break;
        const std::size_t taken = std::min(static_cast<std::size_t>(n), contiguous);
        popFront(taken);
        hand(taken);
    }
    if (size_ == 0 && !watches_.empty() && device.OutputQueued() == 0)
        watches_.clear();
    result.state = size_ > 0 ? Serviced::State::Pending : Serviced::State::Idle;
    if (!watches_.empty())
        result.deadline = watches_.front().deadline;
    return result;
}

void OutputQueue::hand(std::size_t count)
{
    handed_ += count;
    handedSincePurge_ = handedSincePurge_ || count > 0;
}

void OutputQueue::dropKept()
{
    // The stream ends where the system's part of it ends, so what the system says it
    // holds is still the end of what was handed.
    head_ = size_ = 0;
    accepted_ = handed_;
    while (!watches_.empty() && watches_.back().start >= handed_)
        watches_.pop_back();
    if (!watches_.empty())
        watches_.back().end = std::min(watches_.back().end, handed_);
}

void OutputQueue::forgetSent(std::uint64_t sent)
{
    while (!watches_.empty() && watches_.front().end <= sent)
        watches_.pop_front();
}

std::size_t OutputQueue::expire(backend::Device& device, Clock::time_point now)
{
    if (watches_.empty() || watches_.front().deadline > now)
        return 0;
    // What the system says it holds is the end of what it was handed; more than the
    // watched part of that is not ours. A byte a real line sends between this count and
    // the purge below is reported though it left; after the purge nothing is left to count.
    const std::size_t queued = device.OutputQueued();
    const std::uint64_t watched = handed_ - std::min(handed_, watches_.front().start);
    const std::uint64_t held = std::min<std::uint64_t>(queued, watched);
    const std::uint64_t sent = handed_ - held;
    forgetSent(sent);
    if (watches_.empty() || watches_.front().deadline > now)
        return 0;

    auto kept = watches_.begin();
    while (kept != watches_.end() && kept->deadline <= now)
        ++kept;
    std::uint64_t cut = std::prev(kept)->end;
    // Emptying the system's buffers takes any later write that is partly in them too:
    // sent on, it would reach the device without its beginning.
    while (kept != watches_.end() && kept->start < handed_) {
        cut = kept->end;
        ++kept;
    }
    // Emptied only when that loses nothing counted as sent: the system counts what it
    // holds (and what it holds of ours is dropped here), or it has taken nothing of
    // ours since it was last emptied. A system that says 0 after taking bytes of ours
    // may be one that keeps no count and holds them still.
    if (queued > 0 || !handedSincePurge_) {
        device.PurgeOutput();
        handedSincePurge_ = false;
    }
    if (cut > handed_) {
        popFront(static_cast<std::size_t>(cut - handed_));
        handed_ = cut;
    }
    watches_.erase(watches_.begin(), kept);
    return static_cast<std::size_t>(cut - sent);
}

void OutputQueue::append(const char* data, std::size_t count)
{
    if (count == 0)
        return;
    if (ring_.empty())
        ring_.resize(limit_);
    std::size_t tail = (head_ + size_) % limit_;
    while (count > 0) {
        const std::size_t part = std::min(count, limit_ - tail);
        std::memcpy(ring_.data() + tail, data, part);
        data += part;
        count -= part;
        size_ += part;
        tail = (tail + part) % limit_;
    }
}

void OutputQueue::popFront(std::size_t count)
{
    size_ -= count;
    head_ = size_ == 0 ? 0 : (head_ + count) % limit_;
}

std::size_t OutputQueue::Pending() const
{
    std::lock_guard lock(mutex_);
    return size_;
}

void OutputQueue::Clear()
{
    std::lock_guard lock(mutex_);
    head_ = size_ = 0;
    handed_ = accepted_;
    watches_.clear();
    handedSincePurge_ = false;
}

} // namespace commport
