#pragma once
// The ten quantities the meter's panel shows and the names its readings carry.

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace meter {

enum class ReadingQuantity : std::uint8_t { V1, V2, V3, A1, A2, A3, W1, W2, W3, Sum };

inline constexpr int kReadingQuantityCount = 10;

inline constexpr std::array<ReadingQuantity, kReadingQuantityCount> kAllReadingQuantities{
    ReadingQuantity::V1, ReadingQuantity::V2, ReadingQuantity::V3, ReadingQuantity::A1, ReadingQuantity::A2,
    ReadingQuantity::A3, ReadingQuantity::W1, ReadingQuantity::W2, ReadingQuantity::W3, ReadingQuantity::Sum,
};

// "V1" to "W3", and "Сумма" for the sum of the powers.
QString quantityName(ReadingQuantity quantity);
// The quantity a name stands for: its own name (any case, the currents also with a
// Cyrillic "А") or the name of its label on the panel; nothing for any other text.
std::optional<ReadingQuantity> quantityFromName(QStringView name);

inline int readingQuantityIndex(ReadingQuantity quantity) { return static_cast<int>(quantity); }

} // namespace meter
