#include "dispenserreception.h"

#include "replytext.h"

namespace dispenser {

using namespace transport;

DispenserReception::DispenserReception(SharedState& state, QPlainTextEdit* consoleLog)
    : state_(state)
    , consoleLog_(consoleLog)
{
}

void DispenserReception::replyTimedOut()
{
    appendLine(consoleLog_, QStringLiteral("TimeOut"));
}

void DispenserReception::replyReceived(std::span<const std::uint8_t> reply)
{
    const QString line = receivedFrameLine(reply);
    if (reply.size() >= 2 && !replyChecksumMatches(reply)) {
        appendLine(consoleLog_, line + checksumErrorText(reply.size()));
        return;
    }
    appendLine(consoleLog_, line);
}

} // namespace dispenser
