#pragma once
// The quantities of the meter's panel: the nine readings the meter is asked for, in
// poll order, and the sum of the three powers, which the console adds up itself.

#include <QObject>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace meter {
Q_NAMESPACE

enum class Quantity : std::uint8_t { V1, V2, V3, A1, A2, A3, W1, W2, W3, Sum };
Q_ENUM_NS(Quantity)

// The nine the meter measures and the poll reads; the sum has no request of its own.
inline constexpr int kMeasuredCount = 9;
inline constexpr int kQuantityCount = 10;

inline constexpr std::array<Quantity, kQuantityCount> kAllQuantities{
    Quantity::V1, Quantity::V2, Quantity::V3, Quantity::A1, Quantity::A2,
    Quantity::A3, Quantity::W1, Quantity::W2, Quantity::W3, Quantity::Sum,
};

inline constexpr std::size_t quantityIndex(Quantity quantity) { return static_cast<std::size_t>(quantity); }

inline constexpr bool isPower(Quantity q) { return q == Quantity::W1 || q == Quantity::W2 || q == Quantity::W3; }
// 0, 1 or 2: the phase of a measured quantity.
inline constexpr int phaseIndex(Quantity q) { return static_cast<int>(q) % 3; }

// "V1" to "W3", and "Сумма" for the sum of the powers.
QString quantityName(Quantity quantity);
// The panel's label that shows the quantity: "vv1" to "ww3", "summ_wat".
const char* labelName(Quantity quantity);
// The unit the meter gives the quantity in: "V", "A" or "W".
QString unitName(Quantity quantity);
// The quantity a name stands for: its own name (any case, the currents also with a
// Cyrillic "А") or the name of its label on the panel; nothing for any other text.
std::optional<Quantity> quantityFromName(QStringView name);

} // namespace meter
