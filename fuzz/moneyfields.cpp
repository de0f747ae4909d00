// The fixed-width number fields: digits typed one after another, and whatever text
// reached the field otherwise (a reply, a paste).

#include "fuzzcheck.h"

#include "fieldformatvalidator.h"

using namespace dispenser;

namespace {

// The digits a request cuts from the field, in order: the volume's third decimal is
// never typed.
QString sentDigits(MoneyField field, const QString& text)
{
    QString digits;
    for (QChar c : text)
        if (c.isDigit())
            digits += c;
    return field == MoneyField::Volume ? digits.chopped(1) : digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const auto field = MoneyField(data[0] % 3);
    const QString reset = fieldResetText(field);
    const QChar digit(u'0' + data[1] % 10);
    const std::uint8_t* rest = data + 2;
    const std::size_t restSize = size - 2;

    // Text from anywhere: the result keeps the field's width, and a field in format stays so.
    const QString any = fuzz::typedText(rest, restSize);
    const QString shifted = shiftDigitIn(field, any, digit);
    fuzz::check(shifted.size() == reset.size(), "a typed digit changed the field's width", any);
    const bool inFormat = fieldTextInFormat(field, any);
    if (inFormat)
        fuzz::check(fieldTextInFormat(field, shifted), "a digit typed into a good field broke it", any);
    FieldFormatValidator validator(field, nullptr);
    QString edited = any;
    int pos = 0;
    fuzz::check((validator.validate(edited, pos) == QValidator::Acceptable) == inFormat,
                "the validator and the format disagree", any);

    // Digits typed into a cleared field: the field holds the last ones typed.
    QString text = reset;
    QString typed;
    for (std::size_t i = 0; i < restSize; ++i) {
        const QChar d(u'0' + rest[i] % 10);
        text = shiftDigitIn(field, text, d);
        typed += d;
        fuzz::check(fieldTextInFormat(field, text), "typing digits left the format", text);
    }
    const qsizetype width = sentDigits(field, reset).size();
    const QString expected = (QString(width, u'0') + typed).right(width);
    fuzz::check(sentDigits(field, text) == expected, "the field does not hold the last digits typed", text);
    if (field == MoneyField::Volume)
        fuzz::check(text.endsWith(u'0'), "the volume's third decimal is not 0", text);
    return 0;
}
