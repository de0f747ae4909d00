// Frame text typed by the operator or composed by a request, turned into the bytes
// that go on the line.

#include "fuzzcheck.h"

#include "frametext.h"

using namespace transport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = fuzz::typedText(data, size);
    const std::optional<FrameBytes> frame = frameTextToBytes(text);
    QString compact = text;
    compact.remove(u' ');

    if (!frame) {
        // Only length refuses a frame, and 1024 bytes take at least 2047 characters.
        fuzz::check(compact.size() >= 2 * kMaxFrameBytes - 1, "a frame within the limit was refused", text);
        return 0;
    }
    const QByteArray& bytes = frame->bytes;
    fuzz::check(bytes.size() <= kMaxFrameBytes, "a frame over the limit was accepted", text);
    // A "*" asks for the checksum only as the first and last mark of the frame.
    fuzz::check(frame->withChecksum == (compact.isEmpty() || (compact.endsWith(u'*') && compact.count(u'*') == 1)),
                "a checksum was added without a closing * or left out despite it", text);
    const QByteArray payload = frame->withChecksum ? bytes.first(bytes.size() - 1) : bytes;
    if (frame->withChecksum)
        fuzz::check(!bytes.isEmpty() && std::uint8_t(bytes.back()) == frameChecksum(payload),
                    "the checksum of an accepted frame does not verify", fuzz::hexDump(bytes));

    // What the log shows for the bytes converts back to the same frame.
    fuzz::check(byteText(payload).size() == 3 * payload.size(), "byte text is not three characters a byte");
    if (!payload.isEmpty() || frame->withChecksum) {
        const QString logged = byteText(payload) + (frame->withChecksum ? QStringLiteral(" *") : QString());
        const std::optional<FrameBytes> again = frameTextToBytes(logged);
        fuzz::check(again && again->bytes == bytes && again->withChecksum == frame->withChecksum,
                    "the logged bytes convert to another frame", logged);
    }

    // Plain hex digits in pairs mean what any hex decoder makes of them.
    QString digits = frame->withChecksum ? compact.chopped(1) : compact;
    bool plainHex = digits.size() >= 2 && !digits.contains(u'*');
    for (QChar c : digits)
        plainHex = plainHex && hexDigitValue(c).has_value();
    if (plainHex) {
        if (digits.size() % 2)
            digits += u'0';
        fuzz::check(payload == QByteArray::fromHex(digits.toLatin1()), "hex digits gave other bytes", text);
    }
    return 0;
}
