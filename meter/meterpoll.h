#pragma once
// The meter's clocked exchanges: the poll of the readings and the read-all and
// write-all sequences of the settings. Each is fed the ticks of its timer and says
// what to do; a request goes out only when the line is idle, and a tick that cannot
// send changes nothing, so every reply is decoded against the request it answers.

#include "metercodes.h"

#include <functional>
#include <optional>

namespace meter {

struct PollRequest {
    Quantity quantity;
    // The cycle's colour: every label read in one cycle has the same, the next cycle
    // the other, so fresh values are told from old ones.
    bool red = false;
};

class PollCycle {
public:
    // The poll starts again: its first tick sends nothing, the next one reads V1.
    void restart() { step_ = 0; }

    // One tick. comboItem: 0 reads all nine in turn, 1 to 9 only that quantity.
    // handOver gives the request to the line and tells whether it went; when it did
    // not (a reply is awaited, the address is no address), the tick changes nothing.
    // Returns the request that went out.
    std::optional<PollRequest> tick(int comboItem, const std::function<bool(const PollRequest&)>& handOver);

    int step() const { return step_; }
    bool red() const { return red_; }

private:
    int step_ = 0;
    bool red_ = false;
};

// Read-all and write-all: the fifteen settings in table order, one per tick, each
// only once the line is idle; after the fifteenth, the sequence ends when its reply
// window has closed.
class SettingsSequence {
public:
    enum class Tick { Waited, Stepped, Finished };

    void start()
    {
        next_ = 0;
        running_ = true;
    }
    void stop() { running_ = false; }
    bool running() const { return running_; }
    // The setting the next step works on (kSettingCount once all went).
    int nextSetting() const { return next_; }

    // lineBusy: a reply is awaited. doStep performs the step for one setting; a step
    // that cannot be sent says so itself and counts as done, so a sequence never
    // repeats a failing step nor stalls.
    Tick tick(bool lineBusy, const std::function<void(int setting)>& doStep);

private:
    int next_ = 0;
    bool running_ = false;
};

} // namespace meter
