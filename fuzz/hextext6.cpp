// The short hex texts (codes, template bytes) read as a number.

#include "fuzzcheck.h"

#include "frametext.h"

using transport::hexText6ToInt;

namespace {
bool upperHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = fuzz::typedText(data, size);
    const int value = hexText6ToInt(text);
    fuzz::check(value >= 0 && value <= 0xFFFFFF, "value outside six hex digits", text);
    fuzz::check(value == hexText6ToInt(text.right(6)), "characters before the last six counted", text);

    // Any character other than 0-9 and A-F counts as 0, wherever it stands.
    QString cleaned = text.right(6);
    for (QChar& c : cleaned)
        if (!upperHexDigit(c))
            c = u'0';
    bool ok = cleaned.isEmpty();
    const int reference = cleaned.isEmpty() ? 0 : cleaned.toInt(&ok, 16);
    fuzz::check(ok && value == reference, "value differs from the digits read as hex", text);
    return 0;
}
