// The controller address typed into the address box.

#include "fuzzcheck.h"

#include "controlleraddress.h"
#include "frametext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString typed = fuzz::typedText(data, size);
    const std::optional<QString> address = transport::frameAddressText(typed);

    bool hexDigits = !typed.isEmpty() && typed.size() <= 2;
    for (QChar c : typed)
        hexDigits = hexDigits && transport::hexDigitValue(c).has_value();
    fuzz::check(address.has_value() == hexDigits, "an address taken or refused against its digits", typed);
    if (!address) {
        fuzz::check(transport::badAddressLine(typed).contains(typed), "the refusal does not name the text", typed);
        return 0;
    }
    fuzz::check(address->size() == 2 && *address == address->toUpper(), "not two upper-case digits", *address);
    fuzz::check(address->toInt(nullptr, 16) == typed.toInt(nullptr, 16), "the address changed its value", typed);
    return 0;
}
