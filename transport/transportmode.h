#pragma once
// What the transport asks of the current device family: where its sent frames are
// logged besides the exchange log, how a request with data is framed, and what to do
// with a reply window's result. Each family plugs one of these in; the transport
// picks the one of the mode selected when the window ends.

#include <QString>
#include <cstdint>
#include <optional>
#include <span>

class QPlainTextEdit;

namespace transport {

class TransportMode {
public:
    virtual ~TransportMode() = default;

    // A pane that also gets every "PC->" line while this mode is selected.
    virtual QPlainTextEdit* sentFramesConsole() const { return nullptr; }

    // The frame text for a composed request that carries data, when the family frames
    // it its own way; nothing to use the dispenser envelope.
    virtual std::optional<QString> composeDataRequest(const QString& data, const QString& code)
    {
        Q_UNUSED(data);
        Q_UNUSED(code);
        return std::nullopt;
    }

    // The reply window ended with nothing received.
    virtual void replyTimedOut() = 0;
    // The reply window ended with these bytes (at least one).
    virtual void replyReceived(std::span<const std::uint8_t> reply) = 0;
};

} // namespace transport
