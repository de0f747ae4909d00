#include "handover.h"

#include <utility>

namespace commport {

std::shared_ptr<HandOver> HandOver::Create(MainThreadPoster poster)
{
    return std::shared_ptr<HandOver>(new HandOver(std::move(poster)));
}

HandOver::HandOver(MainThreadPoster poster) : poster_(std::move(poster)) {}

void HandOver::queue(std::function<void()> call, bool awaited, std::uint64_t& id)
{
    std::lock_guard lock(mutex_);
    id = ++lastId_;
    queued_.push_back({id, awaited, std::move(call)});
}

bool HandOver::RunAndWait(std::function<void()> call)
{
    {
        std::lock_guard lock(mutex_);
        if (stopped_)
            return false;
    }
    if (!poster_) {
        call();
        return true;
    }
    std::uint64_t id = 0;
    queue(std::move(call), true, id);
    poster_([self = shared_from_this(), id] { self->runQueued(id); });

    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return stopped_ || lastFinished_ >= id; });
    return lastFinished_ >= id;
}

void HandOver::Post(std::function<void()> call)
{
    {
        std::lock_guard lock(mutex_);
        if (stopped_)
            return;
    }
    if (!poster_) {
        call();
        return;
    }
    std::uint64_t id = 0;
    queue(std::move(call), false, id);
    poster_([self = shared_from_this(), id] { self->runQueued(id); });
}

void HandOver::runQueued(std::uint64_t id)
{
    Queued taken;
    {
        std::lock_guard lock(mutex_);
        auto it = queued_.begin();
        while (it != queued_.end() && it->id != id)
            ++it;
        if (it == queued_.end())
            return; // already served by a closing port, or cancelled
        taken = std::move(*it);
        queued_.erase(it);
    }
    // The waiting thread is released even when a handler throws on its way out.
    struct ReleaseWaiter {
        HandOver& self;
        const Queued& call;
        ~ReleaseWaiter()
        {
            if (!call.awaited)
                return;
            {
                std::lock_guard lock(self.mutex_);
                if (call.id > self.lastFinished_)
                    self.lastFinished_ = call.id;
            }
            self.finished_.notify_all();
        }
    } release{*this, taken};
    // No lock while the call runs: it may close the port, which stops and cancels us.
    taken.call();
}

void HandOver::ServeWaitingCall()
{
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        for (const Queued& q : queued_)
            if (q.awaited) {
                id = q.id;
                break;
            }
    }
    if (id != 0)
        runQueued(id);
}

void HandOver::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    finished_.notify_all();
}

void HandOver::Cancel()
{
    std::list<Queued> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(queued_);
    }
    // The dropped calls are destroyed here, outside the lock.
}

} // namespace commport
