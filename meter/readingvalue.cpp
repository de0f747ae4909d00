#include "readingvalue.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace meter {

namespace {

constexpr std::array<double, ReadingValue::kMaxDecimals + 1> kPowersOfTen{
    1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14,
};

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

} // namespace

ReadingValue ReadingValue::fromDecimal(std::int32_t mantissa, int decimals)
{
    ReadingValue value;
    if (decimals < 0 || decimals > kMaxDecimals || std::abs(std::int64_t(mantissa)) > kMantissaLimit)
        return value;
    // A left shift of a negative number is well defined since C++20.
    value.bits_ = std::int32_t(mantissa * (1 << kDecimalsBits)) | decimals;
    return value;
}

ReadingValue ReadingValue::fromText(QStringView text)
{
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    const qsizetype point = text.indexOf(u'.');
    const QStringView whole = point < 0 ? text : text.first(point);
    const QStringView fraction = point < 0 ? QStringView() : text.sliced(point + 1);
    if (whole.isEmpty() && fraction.isEmpty())
        return {};
    for (const QStringView part : {whole, fraction})
        for (const QChar c : part)
            if (!isDigit(c))
                return {};

    std::int64_t mantissa = 0;
    for (const QChar c : whole) {
        mantissa = mantissa * 10 + (c.unicode() - u'0');
        if (mantissa > kMantissaLimit)
            return {};
    }
    int decimals = 0;
    qsizetype used = 0;
    for (; used < fraction.size() && decimals < kMaxDecimals; ++used) {
        const std::int64_t next = mantissa * 10 + (fraction[used].unicode() - u'0');
        if (next > kMantissaLimit)
            break;
        mantissa = next;
        ++decimals;
    }
    // The first digit left out rounds the rest, half away from zero.
    if (used < fraction.size() && fraction[used] >= u'5') {
        ++mantissa;
        if (mantissa > kMantissaLimit) {
            if (decimals == 0)
                return {};
            mantissa = (mantissa + 5) / 10;
            --decimals;
        }
    }
    return fromDecimal(std::int32_t(negative ? -mantissa : mantissa), decimals);
}

ReadingValue ReadingValue::sum(std::span<const ReadingValue> values)
{
    int decimals = 0;
    for (const ReadingValue& value : values) {
        if (!value.isNumber())
            return {};
        decimals = std::max(decimals, value.decimals());
    }
    // Each term is at most the mantissa limit once aligned, so three and more add up
    // in 64 bits; a sum that does not fit is tried again with a decimal fewer.
    for (; decimals >= 0; --decimals) {
        std::int64_t total = 0;
        bool fits = true;
        for (const ReadingValue& value : values) {
            const std::int64_t m = value.mantissa();
            const int shift = decimals - value.decimals();
            std::int64_t term;
            if (shift >= 0) {
                const std::int64_t scale = std::int64_t(kPowersOfTen[std::size_t(shift)]);
                fits = std::abs(m) <= kMantissaLimit / scale;
                term = m * scale;
            } else {
                // Half away from zero, as fromText rounds.
                const std::int64_t scale = std::int64_t(kPowersOfTen[std::size_t(-shift)]);
                term = (std::abs(m) + scale / 2) / scale * (m < 0 ? -1 : 1);
            }
            if (!fits)
                break;
            total += term;
        }
        if (fits && std::abs(total) <= kMantissaLimit)
            return fromDecimal(std::int32_t(total), decimals);
    }
    return {};
}

double ReadingValue::toDouble() const
{
    return double(mantissa()) / kPowersOfTen[std::size_t(decimals())];
}

int ReadingValue::writeText(char* out) const
{
    if (!isNumber())
        return 0;
    const std::int32_t m = mantissa();
    const int d = decimals();
    // Digits from the last one backwards, at least one before the point.
    char digits[24];
    int count = 0;
    for (std::uint32_t rest = std::uint32_t(std::abs(m)); rest != 0 || count <= d; rest /= 10)
        digits[count++] = char('0' + rest % 10);
    int length = 0;
    if (m < 0)
        out[length++] = '-';
    for (int i = count - 1; i >= 0; --i) {
        out[length++] = digits[i];
        if (i == d && d > 0)
            out[length++] = '.';
    }
    return length;
}

QString ReadingValue::toText() const
{
    char text[kMaxTextLength];
    return QString::fromLatin1(text, writeText(text));
}

} // namespace meter
