// The memory mode's address fields: the key filter and the parse of what a field
// asks for. The first byte picks the key, the rest is the field's text.

#include "fuzzcheck.h"

#include "addressfield.h"

namespace {

bool hexDigits(const QString& text, qsizetype count)
{
    if (text.size() != count)
        return false;
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto key = static_cast<memory::MemoryKey>(data[0] % 4);
    const QString text = fuzz::typedText(data + 1, size - 1);

    for (QChar typed : text) {
        const std::optional<QChar> once = memory::addressKeyFilter(typed);
        if (once)
            fuzz::check(memory::addressKeyFilter(*once) == once, "the key filter is not idempotent", QString(typed));
    }

    const memory::AddressFieldRequest r = memory::parseAddressField(text, key);
    if (r.kind == memory::AddressFieldRequest::Read || r.kind == memory::AddressFieldRequest::Write) {
        fuzz::check(hexDigits(r.address, 6), "an address that is not six hex digits", r.address);
        fuzz::check(r.fieldText.size() <= memory::kAddressFieldMaxLength, "the field grew past its length", r.fieldText);
        fuzz::check(r.caret >= 0 && r.caret <= r.fieldText.size(), "the caret is outside the field", r.fieldText);
    }
    if (r.kind == memory::AddressFieldRequest::Write)
        fuzz::check(hexDigits(r.value, 2), "a value that is not two hex digits", r.value);
    const QString address = memory::adressyach(text);
    fuzz::check(address == memory::kUnusableAddress || hexDigits(address, 6), "a bit address that is no address",
                address);
    return 0;
}
