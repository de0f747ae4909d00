#include "bcd.h"

namespace devsim {

std::optional<std::uint64_t> bcdToNumber(QByteArrayView bytes)
{
    std::uint64_t value = 0;
    for (char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        const int high = byte >> 4;
        const int low = byte & 0x0F;
        if (high > 9 || low > 9)
            return std::nullopt;
        value = value * 100 + std::uint64_t(high * 10 + low);
    }
    return value;
}

QByteArray numberToBcd(std::uint64_t value, int byteCount)
{
    QByteArray bytes(byteCount, '\0');
    for (int i = byteCount - 1; i >= 0; --i) {
        const int pair = int(value % 100);
        value /= 100;
        bytes[i] = char(((pair / 10) << 4) | (pair % 10));
    }
    return bytes;
}

} // namespace devsim
