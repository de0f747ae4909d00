#include "meterpoll.h"

namespace meter {

std::optional<PollRequest> PollCycle::tick(int comboItem, const std::function<bool(const PollRequest&)>& handOver)
{
    int step = step_;
    bool red = red_;
    if (comboItem != 0) {
        step = comboItem;
        red = !red;
    }
    std::optional<PollRequest> sent;
    if (step >= 1 && step <= kMeasuredCount) {
        const PollRequest request{static_cast<Quantity>(step - 1), red};
        if (!handOver(request))
            return std::nullopt;
        sent = request;
    }
    if (step == kMeasuredCount) {
        step = 0;
        red = !red;
    }
    step_ = step + 1;
    red_ = red;
    return sent;
}

SettingsSequence::Tick SettingsSequence::tick(bool lineBusy, const std::function<void(int setting)>& doStep)
{
    if (!running_ || lineBusy)
        return Tick::Waited;
    if (next_ < kSettingCount) {
        doStep(next_++);
        return Tick::Stepped;
    }
    running_ = false;
    return Tick::Finished;
}

} // namespace meter
