#pragma once
// Hand-over of calls from the event thread to the GUI thread.
//
// The GUI thread's own queue is reached through a poster that only queues a call and
// returns. Each queued call carries a shared pointer to this object and the id of the
// call, never the call itself: a queued call that runs after the port was closed (or
// closed and opened again) finds its id gone and does nothing, so it touches nothing
// that may have been freed meanwhile.

#include "mainthreadposter.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>

namespace commport {

class HandOver : public std::enable_shared_from_this<HandOver> {
public:
    // Without a poster every call runs at once on the calling thread.
    static std::shared_ptr<HandOver> Create(MainThreadPoster poster);

    // Event thread: runs `call` on the GUI thread and blocks until it has run there or
    // until Stop. Returns false when stopped (the call may then never run).
    bool RunAndWait(std::function<void()> call);

    // Event thread: queues `call` on the GUI thread and returns at once.
    void Post(std::function<void()> call);

    // GUI thread, while closing: runs any call that RunAndWait is blocked on, so a
    // hand-over in flight completes instead of being left hanging.
    void ServeWaitingCall();

    // Any thread: wakes RunAndWait and refuses every later call.
    void Stop();

    // GUI thread: forgets every queued call; those already in the GUI queue find
    // nothing to do when they come up.
    void Cancel();

private:
    explicit HandOver(MainThreadPoster poster);
    struct Queued {
        std::uint64_t id;
        bool awaited; // RunAndWait blocks on it
        std::function<void()> call;
    };
    void queue(std::function<void()> call, bool awaited, std::uint64_t& id);
    void runQueued(std::uint64_t id);

    const MainThreadPoster poster_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::list<Queued> queued_;
    std::uint64_t lastId_ = 0;
    std::uint64_t lastFinished_ = 0; // id of the last awaited call that has run
    bool stopped_ = false;
};

} // namespace commport
