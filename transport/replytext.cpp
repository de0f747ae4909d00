#include "replytext.h"

#include "frametext.h"

#include <QPlainTextEdit>

namespace transport {

QString receivedFrameLine(std::span<const std::uint8_t> reply, const QString& timeStamp)
{
    return QStringLiteral("PC<- (") + timeStamp + QStringLiteral(") ") + byteText(reply);
}

QString sentFrameLine(std::span<const std::uint8_t> frame)
{
    return QStringLiteral("PC-> (") + timeStampText() + QStringLiteral(") ") + byteText(frame);
}

bool replyChecksumMatches(std::span<const std::uint8_t> reply)
{
    return reply.size() >= 2 && frameChecksum(reply.first(reply.size() - 1)) == reply.back();
}

QString checksumErrorText(std::size_t count)
{
    return QStringLiteral(" CSM ERROR ") + QString::number(count);
}

void appendLine(QPlainTextEdit* pane, const QString& line)
{
    pane->appendPlainText(line);
}

} // namespace transport
