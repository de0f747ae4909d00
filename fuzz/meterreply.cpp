// The meter's reply decoding: the first byte is the code of the last read, the rest
// is what one reply window brought.

#include "fuzzcheck.h"

#include "frametext.h"
#include "meterreplies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> reply(data + 1, size - 1);
    const meter::MeterReply r = meter::decodeReply(reply, data[0]);

    const bool checked = reply.size() < 2
        || transport::frameChecksum(reply.first(reply.size() - 1)) == reply.back();
    // A reply whose checksum fails shows nothing anywhere but the log.
    if (!checked)
        fuzz::check(!r.reading && !r.setting && !r.address, "a bad checksum reached a field");
    if (reply.empty())
        fuzz::check(!r.reading && !r.setting && !r.address && !r.requestLogLine, "a time-out reached a field");
    if (r.reading) {
        fuzz::check(r.reading->digits.size() <= 6, "more digits than a reading holds", r.reading->digits);
        for (QChar c : r.reading->digits)
            fuzz::check(c >= u'0' && c <= u'9', "a reading shows a non-digit", r.reading->digits);
        // The history's value and the label come from the same characters.
        if (r.reading->value.isNumber())
            fuzz::check(!r.reading->digits.isEmpty(), "a value from no digit", r.reading->value.toText());
    }
    if (r.address) {
        fuzz::check(r.address->text == transport::hexByte(r.address->value), "the address text differs from its value",
                    r.address->text);
        if (r.address->controllerItem && *r.address->controllerItem >= 0)
            fuzz::check(r.address->value >= 1 && r.address->value <= 0x7F
                            && *r.address->controllerItem == r.address->value - 1,
                        "an address outside 01..7F selected in the list", r.address->text);
    }
    return 0;
}
