#include "logline.h"

#include "frametext.h"

namespace transport {

QString receivedLinePrefix(const QString& timeStamp)
{
    return QStringLiteral("PC<- (") + timeStamp + u')';
}

QString receivedFrameLine(std::span<const std::uint8_t> reply, const QString& timeStamp)
{
    return receivedLinePrefix(timeStamp) + u' ' + byteText(reply);
}

QString sentFrameLine(std::span<const std::uint8_t> frame, const QString& timeStamp)
{
    return QStringLiteral("PC-> (") + timeStamp + QStringLiteral(") ") + byteText(frame);
}

bool replyChecksumMatches(std::span<const std::uint8_t> reply)
{
    return reply.size() >= 2 && frameChecksum(reply.first(reply.size() - 1)) == reply.back();
}

QString checksumErrorText(std::size_t count)
{
    return QStringLiteral(" CSM ERROR ") + QString::number(count);
}

QString timeOutLine()
{
    return QStringLiteral("TimeOut");
}

QString portClosedLine()
{
    return QStringLiteral("Порт закрыт: кадр не отправлен");
}

} // namespace transport
