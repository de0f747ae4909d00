#pragma once
// The event thread of an open port: it waits on the device and on a wake-up descriptor,
// hands each event to the GUI thread and blocks until it has been handled there. It
// never reads data; it only sends output that the kernel could not take at once.
//
// "Bytes arrived" means new bytes, not "bytes are queued": the device is watched
// edge-triggered, so unread bytes that nobody reads do not wake the thread again.
//
// What Linux reports and what it does not:
//   evRxChar           new bytes in the input queue;
//   evError, evBreak   the driver's error or break counters grew (checked when bytes
//                      arrive; a driver without counters, such as a pseudo-terminal,
//                      never reports them);
//   evCTS, evDSR, evRing, evRlsd, evRxFlag, evTxEmpty
//                      never: modem-line changes can only be awaited by a blocking
//                      ioctl of their own, termios has no event character, and the
//                      kernel does not signal an empty transmit queue.
// A vanished device (hang-up, EIO) ends the thread and is reported once through
// `onDeviceLost`, posted without waiting.

#include "commtypes.h"
#include "handover.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <pthread.h>
#include <thread>

namespace commport {

class OutputQueue;

class TCommEventThread {
public:
    using TSignalEvent = std::function<void(TCommEventThread* Sender, std::uint32_t EventMask)>;

    // Starts waiting at once. `handle` stays owned by the caller and must stay open until
    // the thread has ended. Raises ECommError when the wait cannot be set up.
    TCommEventThread(int handle, TCommEventType events, std::shared_ptr<HandOver> handOver,
                     OutputQueue& output, TSignalEvent onSignal, std::function<void()> onDeviceLost);
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
    // Wakes the thread to send bytes that OutputQueue kept.
    void OutputQueued();

    // Runs on the GUI thread: hands the mask to OnSignal.
    void DeliverEvent();

    // The event bits of the last delivered event (GUI side).
    std::uint32_t EventMask = 0;
    TSignalEvent OnSignal;

    // Processor time the thread has used so far (for measurements).
    std::chrono::nanoseconds CpuTime() const;

private:
    void execute();
    void wake();

    const int handle_;
    const std::uint32_t monitored_;
    std::shared_ptr<HandOver> handOver_;
    OutputQueue& output_;
    std::function<void()> onDeviceLost_;
    int wakeFd_ = -1;  // eventfd: stop and "output queued"
    int epollFd_ = -1;
    int rxFd_ = -1;    // the device, watched for arriving bytes only
    int txFd_ = -1;    // the device again, watched for room to write only while output waits
    std::atomic<bool> terminated_{false};
    std::thread thread_;
    pthread_t native_{};
};

} // namespace commport
