// A reply window's bytes decoded by the dispenser family, after any request: the
// first two bytes are the reply the request announced, the third the "Протеус" box.

#include "fuzzcheck.h"

#include "frametext.h"
#include "logline.h"
#include "moneyfields.h"
#include "replydecoding.h"
#include "transport.h"

#include <QRegularExpression>

using namespace dispenser;

namespace {

bool bcd(std::uint8_t byte)
{
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

bool allBcd(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), bcd);
}

bool matches(const QRegularExpression& pattern, const QString& text)
{
    return pattern.match(text).hasMatch();
}

QRegularExpression shape(const char* pattern)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromUtf8(pattern)));
}

void checkFields(const DispenserReply& r, std::span<const std::uint8_t> reply, ExpectedReply expected)
{
    const int filled = int(r.status.has_value()) + int(r.pricePerLitre.has_value()) + int(r.totalisers.has_value());
    fuzz::check(filled <= 1, "one reply filled two kinds of fields");
    if (filled)
        fuzz::check(transport::replyChecksumMatches(reply), "fields filled from a reply whose checksum fails");

    if (r.status) {
        fuzz::check(expected.cmd == 0x80 && reply.size() == 8, "status fields from another reply");
        fuzz::check(r.status->Danstat == transport::byteText(reply.subspan(3, 3)).mid(1)
                        && r.status->StatSost == transport::hexByte(reply[6]),
                    "status fields are not the reply's bytes", r.status->Danstat);
    }
    if (r.pricePerLitre) {
        fuzz::check(reply.size() == 8, "price from a reply of another length");
        static const QRegularExpression price = shape("[0-9A-F]{2},[0-9A-F]{2} р\\.");
        fuzz::check(matches(price, *r.pricePerLitre),
                    "price text out of shape", *r.pricePerLitre);
        // Packed BCD from the controller must land in the field's own format.
        if (allBcd(reply.subspan(3, 2)))
            fuzz::check(fieldTextInFormat(MoneyField::PricePerLitre, *r.pricePerLitre),
                        "a BCD price does not fit the price field", *r.pricePerLitre);
    }
    if (r.totalisers) {
        fuzz::check(reply.size() == 16, "totalisers from a reply of another length");
        const TotaliserFields& t = *r.totalisers;
        static const QRegularExpression hexLong = shape("[0-9A-F]{8},[0-9A-F]{2}");
        static const QRegularExpression hexShort = shape("[0-9A-F]{6},[0-9A-F]{2}");
        static const QRegularExpression decimalLong = shape("[0-9]{8},[0-9]{2}");
        static const QRegularExpression decimalShort = shape("[0-9]{6},[0-9]{2}");
        // Packed BCD gives decimal digits only; other bytes still keep the shape.
        const bool decimal = allBcd(reply.subspan(1, 13));
        const QRegularExpression& longShape = decimal ? decimalLong : hexLong;
        const QRegularExpression& shortShape = decimal ? decimalShort : hexShort;
        fuzz::check(matches(longShape, t.NeflitrSum) && matches(shortShape, t.flitrSum)
                        && matches(shortShape, t.NefDenSum),
                    "totaliser text out of shape", t.NeflitrSum + u'|' + t.flitrSum + u'|' + t.NefDenSum);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const ExpectedReply expected{data[0], data[1]};
    const bool slow = data[2] & 1;
    const std::span<const std::uint8_t> reply(data + 3, size - 3);
    const DispenserReply r = decodeDispenserReply(reply, expected, QStringLiteral("T"), slow);

    for (const QString& line : r.lines)
        fuzz::check(!line.contains(u'\n') && !line.contains(u'\r'), "a log line holds a line break", line);
    checkFields(r, reply, expected);

    const bool version = expected.cmd == 0x00 && expected.sub == 0x30;
    if (reply.empty()) {
        fuzz::check(r.lines == QStringList{transport::timeOutLine()} && !r.replyWindowMs
                        && r.followUp == FollowUp::None,
                    "silence is not a time-out and nothing else");
        return 0;
    }
    if (version && reply.size() > 1) {
        const auto text = reply.first(reply.size() - 1);
        fuzz::check(r.lines.size() == std::count(text.begin(), text.end(), std::uint8_t('\n')),
                    "version text lines differ from its line ends");
        fuzz::check(r.replyWindowMs == (slow ? transport::kSlowReplyWindowMs : kAfterVersionWindowMs),
                    "wrong reply window after the version text");
        return 0;
    }
    fuzz::check(r.lines.size() == 1, "a reply did not give exactly one log line");
    fuzz::check(r.replyWindowMs.has_value() == version, "a reply window set outside the version exchange");
    if (r.followUp == FollowUp::ReadTotalisers)
        fuzz::check(reply.size() == 1 && reply[0] == 0x00 && expected.cmd >= 0x79 && expected.cmd <= 0x7F,
                    "totalisers read after something other than a reset's success");
    if (r.followUp == FollowUp::ReadPrice)
        fuzz::check(r.followUpBeforeLines && expected.cmd >= 0x71 && expected.cmd <= 0x78 && reply.size() != 16,
                    "price read after something other than an odd totaliser reply");
    return 0;
}
