#include "callqueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace qldixw::testing {

struct CallQueue::State {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> calls;
    bool closed = false;
};

CallQueue::CallQueue() : state_(std::make_shared<State>()) {}

CallQueue::~CallQueue()
{
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
    state_->calls.clear();
}

std::function<void(std::function<void()>)> CallQueue::poster() const
{
    return [state = state_](std::function<void()> call) {
        {
            std::lock_guard lock(state->mutex);
            if (state->closed)
                return;
            state->calls.push_back(std::move(call));
        }
        state->posted.notify_all();
    };
}

int CallQueue::runPending()
{
    std::deque<std::function<void()>> now;
    {
        std::lock_guard lock(state_->mutex);
        now.swap(state_->calls);
    }
    for (auto& call : now)
        call();
    return static_cast<int>(now.size());
}

bool CallQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        runPending();
        if (done())
            return true;
        std::unique_lock lock(state_->mutex);
        // Short slices: `done` may depend on things other than posted calls.
        const auto slice = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
        state_->posted.wait_until(lock, slice, [&] { return !state_->calls.empty(); });
        if (std::chrono::steady_clock::now() >= deadline && state_->calls.empty()) {
            lock.unlock();
            return done();
        }
    }
}

void CallQueue::runFor(std::chrono::milliseconds period)
{
    runUntil([] { return false; }, period);
}

int CallQueue::waiting() const
{
    std::lock_guard lock(state_->mutex);
    return static_cast<int>(state_->calls.size());
}

} // namespace qldixw::testing
