#pragma once
// A reading's value as its label showed it, kept exactly in four bytes: a decimal
// mantissa and its number of decimals. "5.120" comes back as "5.120", not as the
// nearest binary fraction, so the saved readings say what the panel said.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <span>

namespace meter {

class ReadingValue {
public:
    // The largest mantissa kept: 28 bits with the sign, more than the meter's
    // six-character display can show.
    static constexpr std::int32_t kMantissaLimit = (1 << 27) - 1;
    static constexpr int kMaxDecimals = 14;

    // Not a number: what a text that is no plain decimal number becomes.
    ReadingValue() = default;

    // A plain decimal number, blanks around it allowed: "22051", " 220.51", "-0.5",
    // "+7". Decimals beyond what the mantissa holds are rounded off; a number whose
    // whole part does not fit, or any other text, is not a number.
    static ReadingValue fromText(QStringView text);
    static ReadingValue fromDecimal(std::int32_t mantissa, int decimals);
    // The exact sum, with the decimals of the most precise value, or as many fewer as
    // the mantissa needs (rounded off); not a number when one of the values is none
    // or the whole part does not fit.
    static ReadingValue sum(std::span<const ReadingValue> values);

    bool isNumber() const { return (bits_ & kDecimalsMask) != kNotANumber; }
    std::int32_t mantissa() const { return bits_ >> kDecimalsBits; }
    int decimals() const { return isNumber() ? bits_ & kDecimalsMask : 0; }
    double toDouble() const;
    // The number with its decimals as read; empty when not a number.
    QString toText() const;
    // The same text into 'out', which has room for kMaxTextLength characters; returns
    // the length.
    static constexpr int kMaxTextLength = 2 + 10 + kMaxDecimals + 1;
    int writeText(char* out) const;

    bool operator==(const ReadingValue&) const = default;

private:
    static constexpr int kDecimalsBits = 4;
    static constexpr std::int32_t kDecimalsMask = (1 << kDecimalsBits) - 1;
    static constexpr std::int32_t kNotANumber = kDecimalsMask;

    std::int32_t bits_ = kNotANumber;
};

static_assert(sizeof(ReadingValue) == 4);

} // namespace meter
