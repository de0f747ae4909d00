#include "memoryreception.h"

#include "frametext.h"
#include "replytext.h"

namespace memory {

using namespace transport;

MemoryReception::MemoryReception(QPlainTextEdit* exchangeLog, QPlainTextEdit* requestLog)
    : exchangeLog_(exchangeLog)
    , requestLog_(requestLog)
{
}

void MemoryReception::replyTimedOut()
{
    appendLine(exchangeLog_, QStringLiteral("<-"));
    appendLine(requestLog_, QStringLiteral("TimeOut"));
}

void MemoryReception::replyReceived(std::span<const std::uint8_t> reply)
{
    appendLine(exchangeLog_, QStringLiteral("<-") + byteText(reply));
}

} // namespace memory
