#pragma once
// The sums of the three powers, from the powers as they were decoded. The panel's sum
// follows its labels: after every power, the digits the three labels show, added as
// whole numbers. The history's sum is a reading of its own only for a poll cycle in
// which all three powers were read, added with their decimal points, so the chart
// never adds a power of one cycle to a power of another.

#include "meterreplies.h"

#include <array>
#include <optional>

namespace meter {

class PowerSums {
public:
    // The poll asked for a quantity: one that does not come after the one asked
    // before begins a new cycle.
    void asked(Quantity quantity);
    // The poll starts again: nothing read before belongs to its first cycle.
    void restart();

    struct Sums {
        std::optional<QString> label;         // the panel's sum's new text
        std::optional<ReadingValue> ofCycle;  // the cycle's sum, once all three came
    };
    // A power reading; other readings change nothing.
    Sums add(const Reading& power);

private:
    // What the power labels show: "0" until a power is read.
    std::array<QString, 3> labels_{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
    std::array<std::optional<ReadingValue>, 3> cycle_{};
    std::optional<Quantity> lastAsked_;
    bool cycleSummed_ = false;
};

} // namespace meter
