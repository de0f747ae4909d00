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
                                     Clock::time_point now)
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
        if (n < 0)
            return Sent::Failed;
        taken = static_cast<std::size_t>(n);
        handed_ += taken;
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
            // A vanished device is reported as such; any other refusal drops the rest.
            const bool gone = error.kind == CommErrorKind::Gone;
            if (!gone)
                result.dropped += size_;
            head_ = size_ = 0;
            handed_ = accepted_;
            watches_.clear();
            result.state = gone ? Serviced::State::DeviceGone : Serviced::State::Idle;
            return result;
        }
        if (n == 0)
            break;
        popFront(static_cast<std::size_t>(n));
        handed_ += static_cast<std::uint64_t>(n);
    }
    if (size_ == 0 && !watches_.empty() && device.OutputQueued() == 0)
        watches_.clear();
    result.state = size_ > 0 ? Serviced::State::Pending : Serviced::State::Idle;
    if (!watches_.empty())
        result.deadline = watches_.front().deadline;
    return result;
}

std::uint64_t OutputQueue::sentOnLine(backend::Device& device) const
{
    return handed_ - std::min<std::uint64_t>(device.OutputQueued(), handed_);
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
    const std::uint64_t sent = sentOnLine(device);
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
    const std::uint64_t from = std::max(sent, watches_.front().start);
    device.PurgeOutput();
    if (cut > handed_) {
        popFront(static_cast<std::size_t>(cut - handed_));
        handed_ = cut;
    }
    watches_.erase(watches_.begin(), kept);
    return static_cast<std::size_t>(cut - from);
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
}

} // namespace commport
