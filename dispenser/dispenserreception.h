#pragma once
// The dispenser mode's side of the transport: its frames are logged in the console
// log, its replies decoded into the status group, the price field and the totaliser
// pop-up, and the follow-up requests sent from here.

#include "replydecoding.h"
#include "sharedstate.h"
#include "transportmode.h"

#include <functional>

class QCheckBox;
class QPlainTextEdit;
class QWidget;

namespace transport {
class Transport;
}

namespace dispenser {

class DispenserCommands;
class DispenserPanel;

class DispenserReception : public transport::TransportMode {
public:
    struct Targets {
        QPlainTextEdit* dannieListBox1 = nullptr;
        QWidget* RabPanel = nullptr;
        DispenserPanel* panel = nullptr;
        QCheckBox* proteus_check = nullptr;
        // Hides every panel of the main window.
        std::function<void()> skritPanelki;
    };

    DispenserReception(transport::SharedState& state, transport::Transport& transport, DispenserCommands& commands,
                       Targets targets);

    QPlainTextEdit* sentFramesConsole() const override { return targets_.dannieListBox1; }
    void replyTimedOut() override;
    void replyReceived(std::span<const std::uint8_t> reply) override;

    // Shows a decoded reply and sends what it asks for next.
    void apply(const DispenserReply& reply);

private:
    void decodeAndApply(std::span<const std::uint8_t> reply);
    void sendFollowUp(FollowUp followUp);
    void showWithMenu(QWidget* popup);

    transport::SharedState& state_;
    transport::Transport& transport_;
    DispenserCommands& commands_;
    const Targets targets_;
};

} // namespace dispenser
