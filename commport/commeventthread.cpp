#include "commeventthread.h"

#include "backend.h"
#include "commerror.h"
#include "lineerrors.h"
#include "outputqueue.h"

#include <optional>

namespace commport {

TCommEventThread::TCommEventThread(backend::Device& device, TCommEventType events,
                                   std::shared_ptr<HandOver> handOver, OutputQueue& output,
                                   TSignalEvent onSignal, Reports reports)
    : OnSignal(std::move(onSignal)), device_(device), monitored_(EventMaskOf(events)),
      handOver_(std::move(handOver)), output_(output), reports_(std::move(reports))
{
    backend::SystemError error;
    waiter_ = device_.MakeWaiter(error);
    if (!waiter_)
        RaiseCommError(kErrAccessDevice, error.code, error.kind);
    thread_ = std::thread([this] { execute(); });
    native_ = thread_.native_handle();
}

TCommEventThread::~TCommEventThread()
{
    Stop();
    WaitFor();
}

void TCommEventThread::Terminate() { terminated_.store(true); }

void TCommEventThread::Stop()
{
    terminated_.store(true);
    waiter_->Signal();
    handOver_->Stop();
}

void TCommEventThread::WaitFor()
{
    if (thread_.joinable())
        thread_.join();
}

void TCommEventThread::OutputQueued() { waiter_->Signal(); }

void TCommEventThread::DeliverEvent()
{
    // A copy: the handler may close the port, which destroys this object.
    TSignalEvent signal = OnSignal;
    if (signal)
        signal(this, EventMask);
}

std::chrono::nanoseconds TCommEventThread::CpuTime() const { return backend::ThreadCpuTime(native_); }

void TCommEventThread::execute()
{
    using Clock = OutputQueue::Clock;
    LineErrorCounts counts = device_.ErrorCounts();
    std::optional<Clock::time_point> outputDeadline;
    bool lost = false;

    while (!terminated_.load()) {
        std::optional<std::chrono::nanoseconds> timeout;
        if (outputDeadline)
            timeout = *outputDeadline - Clock::now();
        const backend::EventWaiter::Wakeup woken = waiter_->Wait(timeout);
        if (woken.failed)
            break; // a failed wait ends the thread, it is not retried
        if (terminated_.load())
            break;

        bool hangUp = woken.hangUp;
        const Clock::time_point now = Clock::now();
        const bool due = outputDeadline && now >= *outputDeadline;
        if (!hangUp && (woken.signalled || woken.room || due)) {
            const OutputQueue::Serviced serviced = output_.Service(device_, now);
            if (serviced.state == OutputQueue::Serviced::State::DeviceGone)
                hangUp = true;
            waiter_->WatchRoom(serviced.state == OutputQueue::Serviced::State::Pending);
            outputDeadline = serviced.deadline;
            if (serviced.dropped > 0 && reports_.outputDropped)
                reports_.outputDropped(serviced.dropped);
        }
        if (hangUp) {
            lost = true;
            break;
        }

        std::uint32_t mask = 0;
        std::uint32_t errors = 0;
        if (woken.input) {
            mask |= EV_RXCHAR;
            // The one place the driver's error counters are followed: the flags travel
            // with the event to the GUI thread.
            const LineErrorCounts grown = device_.ErrorCounts();
            errors = LineErrorFlags(counts, grown);
            counts = grown;
            if (errors & ~CE_BREAK)
                mask |= EV_ERR;
            if (errors & CE_BREAK)
                mask |= EV_BREAK;
        }
        mask &= monitored_;
        if (mask == 0)
            continue;
        if (!handOver_->RunAndWait([this, mask, errors, now] {
                EventMask = mask;
                LineErrors = errors;
                WakeTime = now;
                DeliverEvent();
            }))
            break;
    }

    if (lost) {
        if (reports_.deviceLost)
            handOver_->Post(reports_.deviceLost);
    } else {
        // Bytes that came after the last delivered event are not for anyone.
        device_.PurgeInput();
    }
}

} // namespace commport
