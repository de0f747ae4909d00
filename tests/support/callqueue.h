#pragma once
// A stand-in for the GUI thread's event queue: any thread posts calls, the thread that
// owns the queue runs them when it pumps. Plain std::mutex, so a thread-sanitizer build
// sees the hand-over exactly as it happens.

#include <chrono>
#include <functional>
#include <memory>

namespace qldixw::testing {

class CallQueue {
public:
    CallQueue();
    ~CallQueue();
    CallQueue(const CallQueue&) = delete;
    CallQueue& operator=(const CallQueue&) = delete;

    // Queues a call and returns at once. The poster stays valid after the queue is gone
    // (calls posted then are dropped).
    std::function<void(std::function<void()>)> poster() const;

    // Runs every call queued now; returns how many ran.
    int runPending();
    // Runs calls as they come until `done` is true or the time-out passed; returns `done()`.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Runs calls as they come for `period`.
    void runFor(std::chrono::milliseconds period);
    // Calls queued and not yet run.
    int waiting() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace qldixw::testing
