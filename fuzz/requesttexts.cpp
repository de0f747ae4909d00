// Every dispenser request built from what the window holds: the address box, the hose
// box (one character) and the three number fields, in or out of their format.

#include "fuzzcheck.h"

#include "controlleraddress.h"
#include "frametext.h"
#include "moneyfields.h"
#include "requesttexts.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace dispenser;

namespace {

// Mostly a field in its format with fuzzed digits, sometimes any text at all.
QString fieldText(FuzzedDataProvider& in, MoneyField field)
{
    if (in.ConsumeBool())
        return fuzz::typedText(in.ConsumeRandomLengthString(16));
    QString text = fieldResetText(field);
    for (QChar& c : text)
        if (c == u'0')
            c = QChar(u'0' + in.ConsumeIntegralInRange(0, 9));
    return text;
}

// The frames as the line cuts them: each "*" closes a frame, a run of them counts once,
// and blanks after the last one are no frame.
QList<QByteArray> framesOf(const QString& text)
{
    QList<QByteArray> frames;
    const QStringList pieces = text.split(u'*');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const bool closed = i + 1 < pieces.size();
        if ((closed && i > 0 && pieces[i].isEmpty()) || (!closed && transport::isBlankFramePiece(pieces[i])))
            continue;
        const auto frame = transport::frameTextToBytes(pieces[i] + (closed ? QStringLiteral("*") : QString()));
        fuzz::check(frame.has_value(), "a request frame does not fit in 1024 bytes", text);
        frames << frame->bytes;
    }
    return frames;
}

// The hex digits of bytes [first, first + count) of a frame.
QString digitsAt(const QByteArray& frame, qsizetype first, qsizetype count)
{
    return QString::fromLatin1(frame.mid(first, count).toHex()).toUpper();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto request = DispenserRequest(in.ConsumeIntegralInRange(0, int(DispenserRequest::Version)));
    RequestInputs inputs;
    inputs.address = fuzz::typedText(in.ConsumeRandomLengthString(4));
    inputs.hose = fuzz::typedText(in.ConsumeRandomLengthString(4)).left(1);
    inputs.litri = fieldText(in, MoneyField::Volume);
    inputs.Stoimost = fieldText(in, MoneyField::Money);
    inputs.stoimlitr = fieldText(in, MoneyField::PricePerLitre);
    const PreparedRequest r = prepareRequest(request, inputs);

    const std::optional<QString> address = transport::frameAddressText(inputs.address);
    if (!address)
        fuzz::check(!r.refusal.isEmpty(), "a request went out without a controller address", inputs.address);
    if (!r.refusal.isEmpty()) {
        fuzz::check(r.text.isEmpty() && r.refusal.contains(QStringLiteral("не отправлен")),
                    "a refused request still has text or does not say so", r.refusal);
        return 0;
    }
    fuzz::check(!r.text.isEmpty(), "a request that is not refused has no text");
    // Only frame text goes out: a character that is no hex digit would go out as 0.
    for (QChar c : r.text)
        fuzz::check(c == u' ' || c == u'*' || transport::hexDigitValue(c), "a request holds a character that is no digit",
                    r.text);
    const QList<QByteArray> frames = framesOf(r.text);
    fuzz::check(!frames.isEmpty() && frames[0].size() >= 2 && frames[0][0] == char(0x60)
                    && digitsAt(frames[0], 1, 1) == *address,
                "the first frame is not addressed to the typed controller", r.text);

    // The number fields go out as their own digits, packed two to a byte.
    const auto dataDigits = [&](qsizetype first, qsizetype count) {
        fuzz::check(frames.size() >= 2 && frames[1].size() >= first + count, "no data frame", r.text);
        return digitsAt(frames[1], first, count);
    };
    switch (request) {
    case DispenserRequest::DispenseVolume:
        fuzz::check(dataDigits(3, 4) == inputs.litri.left(6) + inputs.litri.mid(7, 2),
                    "the volume sent is not the field's", r.text);
        break;
    case DispenserRequest::DispenseMoney:
        fuzz::check(dataDigits(3, 4) == u'0' + inputs.Stoimost.left(5) + inputs.Stoimost.mid(6, 2),
                    "the money sent is not the field's", r.text);
        break;
    case DispenserRequest::PriceWrite:
        fuzz::check(dataDigits(3, 2) == inputs.stoimlitr.left(2) + inputs.stoimlitr.mid(3, 2),
                    "the price sent is not the field's", r.text);
        break;
    default:
        break;
    }
    return 0;
}
