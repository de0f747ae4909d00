#pragma once
// What the line asks of a device family. The transport holds one client per family
// and knows nothing else of them: every client hears what was sent, the client of the
// mode selected when a reply window ends gets that window's bytes. A client that holds
// the line (Transport::hold, a test script run) gets the bytes of its own windows.

#include <QString>
#include <chrono>
#include <cstdint>
#include <span>

namespace transport {

class LineClient {
public:
    virtual ~LineClient() = default;

    // A composed request's frame text, before it is sent (or refused for a closed
    // port). The raw console shows it, so the last request can be sent again.
    virtual void requestComposed(const QString& text) { Q_UNUSED(text); }
    // The log line of a frame just written; `active`: this client's mode is selected.
    virtual void frameSent(const QString& line, bool active) = 0;
    // The reply window ended. Empty: nothing came. The line is idle again, so a
    // follow-up request goes out at once.
    virtual void replyWindowEnded(std::span<const std::uint8_t> reply) = 0;
    // A line about the line itself (a frame refused, output dropped) for this
    // family's log, while its mode is selected.
    virtual void lineNotice(const QString& line) = 0;
    // For the holder of the line only, outside the windows of the families: `count`
    // bytes wait in the input queue, found by the port's event thread at `at`. The
    // holder may take them now (Transport::takeWaiting) or leave them waiting.
    virtual void bytesArrived(int count, std::chrono::steady_clock::time_point at)
    {
        Q_UNUSED(count);
        Q_UNUSED(at);
    }
};

} // namespace transport
