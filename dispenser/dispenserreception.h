#pragma once
// The dispenser's replies: decoded into the status group, the price field and the
// totaliser pop-up, logged in the console log, and the follow-up requests sent.

#include "dispenserstate.h"

#include <cstdint>
#include <functional>
#include <span>

class QWidget;

namespace transport {
class Transport;
}
namespace ui {
class LogPane;
}

namespace dispenser {

class DispenserCommands;
class DispenserPanel;

class DispenserReception {
public:
    struct Targets {
        ui::LogPane* log = nullptr;
        QWidget* RabPanel = nullptr;
        DispenserPanel* panel = nullptr;
        // Hides every panel of the main window.
        std::function<void()> hideAllPanels;
    };

    DispenserReception(DispenserState& state, transport::Transport& line, DispenserCommands& commands,
                       Targets targets);

    // The reply window ended with these bytes (none: nothing came).
    void replyWindowEnded(std::span<const std::uint8_t> reply);
    // Shows a decoded reply and sends what it asks for next.
    void apply(const DispenserReply& reply);

private:
    void sendFollowUp(FollowUp followUp);
    void showWithMenu(QWidget* popup);

    DispenserState& state_;
    transport::Transport& line_;
    DispenserCommands& commands_;
    const Targets targets_;
};

} // namespace dispenser
