#pragma once
// The ten quantities the meter's panel shows and the names its readings carry.

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace meter {

enum class Quantity : std::uint8_t { V1, V2, V3, A1, A2, A3, W1, W2, W3, Sum };

inline constexpr int kQuantityCount = 10;

inline constexpr std::array<Quantity, kQuantityCount> kAllQuantities{
    Quantity::V1, Quantity::V2, Quantity::V3, Quantity::A1, Quantity::A2,
    Quantity::A3, Quantity::W1, Quantity::W2, Quantity::W3, Quantity::Sum,
};

// "V1" to "W3", and "Сумма" for the sum of the powers.
QString quantityName(Quantity quantity);
// The quantity a name stands for: its own name (any case, the currents also with a
// Cyrillic "А") or the name of its label on the panel; nothing for any other text.
std::optional<Quantity> quantityFromName(QStringView name);

inline int quantityIndex(Quantity quantity) { return static_cast<int>(quantity); }

} // namespace meter
