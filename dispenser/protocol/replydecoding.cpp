#include "replydecoding.h"

#include "frametext.h"
#include "logline.h"
#include "replywindows.h"
#include "versiontext.h"

namespace dispenser {

using transport::hexByte;

namespace {

bool within(std::uint8_t value, std::uint8_t low, std::uint8_t high)
{
    return value >= low && value <= high;
}

// The hex digits of bytes [first, last] run together: packed BCD shows as its digits.
QString digitsOf(std::span<const std::uint8_t> reply, std::size_t first, std::size_t last)
{
    QString text;
    for (std::size_t i = first; i <= last; ++i)
        text += hexByte(reply[i]);
    return text;
}

DispenserReply versionExchange(std::span<const std::uint8_t> reply, const QString& timeStamp, bool slowWindow)
{
    DispenserReply out;
    if (reply.size() == 1) {
        out.lines << transport::receivedFrameLine(reply, timeStamp);
        out.followUp = FollowUp::ContinueVersion;
        out.replyWindowMs = kVersionTextWindowMs;
        return out;
    }
    out.replyWindowMs = slowWindow ? transport::kSlowReplyWindowMs : kAfterVersionWindowMs;
    // The last byte closes the reply and is not part of the text.
    out.lines = versionTextLines(reply.first(reply.size() - 1));
    return out;
}

} // namespace

std::optional<QString> acknowledgementMeaning(std::uint8_t code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("Успешно");
    case 0xFE:
        return QStringLiteral("Нет ресурсов");
    case 0xFF:
        return QStringLiteral("Отвергнуто");
    case 0x05:
    case 0x15:
        return QString();
    default:
        return std::nullopt;
    }
}

QString acknowledgementLine(std::uint8_t code, const QString& timeStamp)
{
    const std::optional<QString> meaning = acknowledgementMeaning(code);
    // Codes the controller does not document: one blank only, as the log always had.
    if (!meaning)
        return transport::receivedLinePrefix(timeStamp) + u' ' + hexByte(code);
    const std::uint8_t bytes[] = {code};
    const QString frameLine = transport::receivedFrameLine(bytes, timeStamp);
    return meaning->isEmpty() ? frameLine : frameLine + u' ' + *meaning;
}

DispenserReply decodeDispenserReply(std::span<const std::uint8_t> reply, ExpectedReply expected,
                                    const QString& timeStamp, bool slowWindow)
{
    DispenserReply out;
    if (reply.empty()) {
        out.lines << transport::timeOutLine();
        return out;
    }
    if (expected.cmd == 0x00 && expected.sub == 0x30)
        return versionExchange(reply, timeStamp, slowWindow);

    const std::size_t n = reply.size();
    if (n == 1) {
        out.lines << acknowledgementLine(reply[0], timeStamp);
        if (reply[0] == 0x00 && within(expected.cmd, 0x79, 0x7F) && expected.sub == 0)
            out.followUp = FollowUp::ReadTotalisers;
        return out;
    }

    const QString line = transport::receivedFrameLine(reply, timeStamp);
    if (!transport::replyChecksumMatches(reply)) {
        out.lines << line + transport::checksumErrorText(n);
        return out;
    }

    const bool plain = expected.sub == 0;
    if (plain && expected.cmd == 0x80 && n == 8) {
        out.status = StatusFields{hexByte(reply[3]) + u' ' + hexByte(reply[4]) + u' ' + hexByte(reply[5]),
                                  hexByte(reply[6])};
    } else if (plain && within(expected.cmd, 0x59, 0x5F) && n == 8) {
        out.pricePerLitre = hexByte(reply[3]) + u',' + hexByte(reply[4]) + QStringLiteral(" р.");
    } else if (plain && within(expected.cmd, 0x71, 0x78) && n == 16) {
        out.totalisers = TotaliserFields{digitsOf(reply, 1, 4) + u',' + hexByte(reply[5]),
                                         digitsOf(reply, 6, 8) + u',' + hexByte(reply[9]),
                                         digitsOf(reply, 10, 12) + u',' + hexByte(reply[13])};
    } else if (plain && within(expected.cmd, 0x71, 0x78)) {
        out.followUp = FollowUp::ReadPrice;
        out.followUpBeforeLines = true;
    }
    out.lines << line;
    return out;
}

} // namespace dispenser
