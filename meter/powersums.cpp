#include "powersums.h"

namespace meter {

void PowerSums::asked(Quantity quantity)
{
    if (!lastAsked_ || quantity <= *lastAsked_) {
        cycle_ = {};
        cycleSummed_ = false;
    }
    lastAsked_ = quantity;
}

void PowerSums::restart()
{
    lastAsked_.reset();
    cycle_ = {};
    cycleSummed_ = false;
}

PowerSums::Sums PowerSums::add(const Reading& power)
{
    Sums sums;
    if (!isPower(power.quantity))
        return sums;
    const auto phase = std::size_t(phaseIndex(power.quantity));
    labels_[phase] = power.digits;
    sums.label = powerSumText(labels_);

    cycle_[phase] = power.value.isNumber() ? std::optional(power.value) : std::nullopt;
    if (cycleSummed_ || !cycle_[0] || !cycle_[1] || !cycle_[2])
        return sums;
    const std::array<ReadingValue, 3> values{*cycle_[0], *cycle_[1], *cycle_[2]};
    const ReadingValue sum = ReadingValue::sum(values);
    if (sum.isNumber()) {
        sums.ofCycle = sum;
        cycleSummed_ = true;
    }
    return sums;
}

} // namespace meter
