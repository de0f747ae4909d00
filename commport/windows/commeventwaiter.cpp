#include "commeventwaiter.h"

#include "commdevice.h"
#include "winerror.h"

#include <algorithm>
#include <cstring>

namespace commport::win {

using Clock = std::chrono::steady_clock;

namespace {

// See commdevice.cpp: a wait the driver does not end when cancelled is left alone.
constexpr DWORD kCancelWaitMs = 5000;

} // namespace

// The overlapped record of the comm wait and the mask it fills, which must outlive it.
struct CommEventWaiter::CommWait {
    CommWait() : event(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~CommWait()
    {
        if (event)
            ::CloseHandle(event);
    }
    HANDLE event;
    OVERLAPPED overlapped{};
    DWORD mask = 0;
};

CommEventWaiter::CommEventWaiter(CommDevice& device, backend::SystemError& error)
    : device_(device), wait_(std::make_unique<CommWait>())
{
    // Arrival only: line errors are counted when bytes arrive (the flags travel with
    // the event), and modem-line events are not reported on any system.
    if (!wait_->event || !device_.WakeEvent() || !::SetCommMask(device_.Handle(), EV_RXCHAR)) {
        const DWORD code = ::GetLastError();
        error = backend::SystemError{CommErrorKind::Other, static_cast<int>(code), ErrorText(code)};
    }
}

CommEventWaiter::~CommEventWaiter()
{
    if (!pending_)
        return;
    // A new mask ends a pending wait on Windows; Wine needs the cancel.
    ::SetCommMask(device_.Handle(), 0);
    ::CancelIoEx(device_.Handle(), &wait_->overlapped);
    if (::WaitForSingleObject(wait_->event, kCancelWaitMs) != WAIT_OBJECT_0)
        (void)wait_.release();
}

void CommEventWaiter::Signal() { ::SetEvent(device_.WakeEvent()); }

bool CommEventWaiter::settle(Wakeup& w, DWORD error)
{
    w.input = device_.TakeNewInput();
    if (device_.Gone() || (error != ERROR_SUCCESS && MeansDeviceGone(error))) {
        w.hangUp = true;
        return true;
    }
    if (!w.input)
        quietUntil_ = Clock::now() + kQuietTime;
    return w.input;
}

backend::EventWaiter::Wakeup CommEventWaiter::Wait(std::optional<std::chrono::nanoseconds> timeout)
{
    const HANDLE port = device_.Handle();
    std::optional<Clock::time_point> deadline;
    if (timeout)
        deadline = Clock::now() + std::max(*timeout, std::chrono::nanoseconds::zero());

    for (;;) {
        Wakeup w;
        if (device_.Gone()) {
            w.hangUp = true;
            return w;
        }
        Clock::time_point now = Clock::now();
        if (!pending_ && now >= quietUntil_) {
            CommWait& cw = *wait_;
            std::memset(&cw.overlapped, 0, sizeof cw.overlapped);
            cw.overlapped.hEvent = cw.event;
            cw.mask = 0;
            ::ResetEvent(cw.event);
            if (::WaitCommEvent(port, &cw.mask, &cw.overlapped)) {
                if (settle(w, ERROR_SUCCESS))
                    return w;
                continue;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) {
                if (settle(w, error))
                    return w;
                continue;
            }
            pending_ = true;
        }

        HANDLE handles[3];
        DWORD count = 0;
        handles[count++] = device_.WakeEvent();
        DWORD commIndex = MAXDWORD, roomIndex = MAXDWORD;
        if (pending_) {
            commIndex = count;
            handles[count++] = wait_->event;
        }
        if (watchRoom_) {
            HANDLE done = nullptr;
            if (!device_.WriteUnderWay(done)) {
                w.room = true;
                return w;
            }
            roomIndex = count;
            handles[count++] = done;
        }

        std::optional<Clock::time_point> until = deadline;
        if (!pending_ && (!until || quietUntil_ < *until))
            until = quietUntil_;
        DWORD ms = INFINITE;
        if (until) {
            now = Clock::now();
            // Rounded up: a wake-up before the time would only wait again.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(std::max(*until - now, Clock::duration::zero()));
            ms = static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(left.count(), 1'000'000'000));
        }

        const DWORD r = ::WaitForMultipleObjects(count, handles, FALSE, ms);
        if (r == WAIT_TIMEOUT) {
            if (deadline && Clock::now() >= *deadline)
                return w;
            continue;
        }
        if (r >= WAIT_OBJECT_0 + count) {
            w.failed = true;
            return w;
        }
        const DWORD index = r - WAIT_OBJECT_0;
        if (index == 0) {
            w.signalled = true;
            w.hangUp = device_.Gone();
            return w;
        }
        if (index == commIndex) {
            pending_ = false;
            DWORD ignored = 0;
            const DWORD error =
                ::GetOverlappedResult(port, &wait_->overlapped, &ignored, FALSE) ? ERROR_SUCCESS : ::GetLastError();
            if (settle(w, error))
                return w;
            continue;
        }
        if (index == roomIndex) {
            w.room = true;
            return w;
        }
    }
}

} // namespace commport::win
