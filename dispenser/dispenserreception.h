#pragma once
// The dispenser mode's side of the transport: its frames are logged in the console
// log, its replies checked and decoded there.

#include "sharedstate.h"
#include "transportmode.h"

class QPlainTextEdit;

namespace dispenser {

class DispenserReception : public transport::TransportMode {
public:
    DispenserReception(transport::SharedState& state, QPlainTextEdit* consoleLog);

    QPlainTextEdit* sentFramesConsole() const override { return consoleLog_; }
    void replyTimedOut() override;
    void replyReceived(std::span<const std::uint8_t> reply) override;

private:
    transport::SharedState& state_;
    QPlainTextEdit* const consoleLog_;
};

} // namespace dispenser
