#include "outputqueue.h"

#include <cerrno>
#include <unistd.h>

namespace commport {

namespace {

// write(2) that retries on signals; -1 with errno as write leaves it.
ssize_t writeSome(int fd, const char* data, std::size_t count)
{
    for (;;) {
        ssize_t n = ::write(fd, data, count);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool deviceGone(int err) { return err == EIO || err == ENXIO || err == ENODEV || err == EBADF; }

} // namespace

OutputQueue::Sent OutputQueue::Write(int fd, const void* buffer, std::size_t count)
{
    const char* data = static_cast<const char*>(buffer);
    std::lock_guard lock(mutex_);
    std::size_t taken = 0;
    if (head_ == bytes_.size() && count > 0) {
        ssize_t n = writeSome(fd, data, count);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return Sent::Failed;
        } else {
            taken = static_cast<std::size_t>(n);
        }
    }
    if (taken == count)
        return Sent::All;
    bytes_.insert(bytes_.end(), data + taken, data + count);
    return Sent::Kept;
}

OutputQueue::Drained OutputQueue::Drain(int fd)
{
    std::lock_guard lock(mutex_);
    while (head_ < bytes_.size()) {
        ssize_t n = writeSome(fd, bytes_.data() + head_, bytes_.size() - head_);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            const bool gone = deviceGone(errno);
            bytes_.clear();
            head_ = 0;
            return gone ? Drained::DeviceGone : Drained::Empty;
        }
        head_ += static_cast<std::size_t>(n);
    }
    if (head_ == bytes_.size()) {
        bytes_.clear();
        head_ = 0;
        return Drained::Empty;
    }
    // Drop the sent front once it is the larger part, so a long flood stays bounded.
    if (head_ > bytes_.size() / 2) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    return Drained::Pending;
}

std::size_t OutputQueue::Pending() const
{
    std::lock_guard lock(mutex_);
    return bytes_.size() - head_;
}

void OutputQueue::Clear()
{
    std::lock_guard lock(mutex_);
    bytes_.clear();
    head_ = 0;
}

} // namespace commport
