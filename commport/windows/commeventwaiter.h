#pragma once
// The event thread's wait on a COM port: an overlapped WaitCommEvent for arriving
// bytes, the end of the write under way when room is watched, and the device's wake
// event (Signal), all in one WaitForMultipleObjects.
//
// Whatever ends a comm wait, the input queue decides whether bytes arrived: it counts
// as arrival only what no earlier wake-up announced. So bytes nobody reads do not wake
// the thread again, and a wait that ends without a reason (below) is harmless. A wait
// that brought nothing new is followed by a short quiet time before the next one, so
// such waits cannot spin.
//
// Why: Windows ends the wait with EV_RXCHAR when a byte arrives. Wine (8.0) ends it as
// long as any byte is queued, and on a device without modem lines (a pseudo-terminal)
// ends every wait at once as aborted, without a mask. Under Wine the quiet time is
// then what paces the thread: arrival is seen within about that long.

#include "backend.h"

#include <windows.h>

#include <chrono>
#include <memory>

namespace commport::win {

class CommDevice;

class CommEventWaiter final : public backend::EventWaiter {
public:
    // How long after a comm wait that brought nothing new the next one starts.
    static constexpr std::chrono::milliseconds kQuietTime{10};

    // Sets the device's event mask; `error` is set when it cannot.
    CommEventWaiter(CommDevice& device, backend::SystemError& error);
    ~CommEventWaiter() override;
    CommEventWaiter(const CommEventWaiter&) = delete;
    CommEventWaiter& operator=(const CommEventWaiter&) = delete;

    Wakeup Wait(std::optional<std::chrono::nanoseconds> timeout) override;
    void WatchRoom(bool watch) override { watchRoom_ = watch; }
    void Signal() override;

private:
    struct CommWait;
    // A comm wait ended with `error` (0: success): fills `w` from the input queue;
    // true when there is something to report.
    bool settle(Wakeup& w, DWORD error);

    CommDevice& device_;
    std::unique_ptr<CommWait> wait_;
    bool pending_ = false;
    bool watchRoom_ = false;
    std::chrono::steady_clock::time_point quietUntil_{};
};

} // namespace commport::win
