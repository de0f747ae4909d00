#pragma once
// Packed BCD, two decimal digits a byte, most significant first: the number form
// the dispenser controller uses for prices, amounts and totalisers.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

namespace devsim {

// Nothing when a half-byte is not a decimal digit.
std::optional<std::uint64_t> bcdToNumber(QByteArrayView bytes);

// The lowest 2 * byteCount decimal digits of the value.
QByteArray numberToBcd(std::uint64_t value, int byteCount);

} // namespace devsim
