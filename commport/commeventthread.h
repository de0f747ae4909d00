#pragma once
// The event thread of an open port: it waits on the device, hands each event to the
// GUI thread and blocks until it has been handled there. It never reads data; it only
// sends output that the system could not take at once, and drops what the line could
// not take within the write time-out.
//
// "Bytes arrived" means new bytes, not "bytes are queued": unread bytes that nobody
// reads do not wake the thread again.
//
// What the system reports and what it does not (Linux):
//   evRxChar           new bytes in the input queue;
//   evError, evBreak   the driver's error or break counters grew (checked when bytes
//                      arrive; a driver without counters, such as a pseudo-terminal,
//                      never reports them);
//   evCTS, evDSR, evRing, evRlsd, evRxFlag, evTxEmpty
//                      never: modem-line changes can only be awaited by a blocking
//                      ioctl of their own, termios has no event character, and the
//                      kernel does not signal an empty transmit queue.
// A vanished device (hang-up) ends the thread and is reported once; dropped output is
// reported as it happens. Neither report makes the thread wait for the GUI thread.

#include "commtypes.h"
#include "handover.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace commport {

namespace backend {
class Device;
class EventWaiter;
} // namespace backend

class OutputQueue;

class TCommEventThread {
public:
    using TSignalEvent = std::function<void(TCommEventThread* Sender, std::uint32_t EventMask)>;

    // What the thread reports besides events.
    struct Reports {
        // Posted to the GUI thread once, when the thread ends for it.
        std::function<void()> deviceLost;
        // Called on the event thread itself: it must only take note and post.
        std::function<void(std::size_t bytes)> outputDropped;
    };

    // Starts waiting at once. `device` stays owned by the caller and must stay open
    // until the thread has ended. Raises ECommError when the wait cannot be set up.
    TCommEventThread(backend::Device& device, TCommEventType events, std::shared_ptr<HandOver> handOver,
                     OutputQueue& output, TSignalEvent onSignal, Reports reports);
    ~TCommEventThread();
    TCommEventThread(const TCommEventThread&) = delete;
    TCommEventThread& operator=(const TCommEventThread&) = delete;

    // Any thread: marks the thread to end after the hand-over under way, if any, has
    // run. The thread itself is not woken.
    void Terminate();
    // Any thread: Terminate, then wake the thread out of any wait (also one that has not
    // begun yet), a hand-over wait included.
    void Stop();
    // Waits until the thread body has returned. Not from the event thread itself.
    void WaitFor();
    // Wakes the thread to send bytes that OutputQueue kept, or to watch their deadline.
    void OutputQueued();

    // Runs on the GUI thread: hands the mask to OnSignal.
    void DeliverEvent();

    // The event bits of the last delivered event (GUI side).
    std::uint32_t EventMask = 0;
    // The CE_* flags of the errors the driver counted since the event before it.
    std::uint32_t LineErrors = 0;
    // When the wait that found the event's bytes ended (steady clock: CLOCK_MONOTONIC on
    // Linux), taken on this thread before the hand-over, so the GUI thread's own delays
    // do not move it.
    std::chrono::steady_clock::time_point WakeTime{};
    TSignalEvent OnSignal;

    // Processor time the thread has used so far (for measurements).
    std::chrono::nanoseconds CpuTime() const;

private:
    void execute();

    backend::Device& device_;
    const std::uint32_t monitored_;
    std::shared_ptr<HandOver> handOver_;
    OutputQueue& output_;
    Reports reports_;
    std::unique_ptr<backend::EventWaiter> waiter_;
    std::atomic<bool> terminated_{false};
    std::thread thread_;
    std::thread::native_handle_type native_{};
};

} // namespace commport
