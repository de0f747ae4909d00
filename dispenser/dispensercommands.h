#pragma once
// Every dispenser request: reads the address, the hose and the fields, announces the
// reply it expects and hands its frame text to the line.

#include "dispenserstate.h"
#include "requesttexts.h"

#include <functional>

class QComboBox;
class QLineEdit;

namespace transport {
class Transport;
}
namespace ui {
class LogPane;
}

namespace dispenser {

class DispenserCommands {
public:
    struct Inputs {
        // The controller address as typed.
        std::function<QString()> address;
        QComboBox* trkedit = nullptr;
        QLineEdit* litri = nullptr;
        QLineEdit* Stoimost = nullptr;
        QLineEdit* stoimlitr = nullptr;
    };

    DispenserCommands(DispenserState& state, transport::Transport& line, Inputs inputs, ui::LogPane& log);

    void zaprStatusChten();
    void Activirovat();
    void Passivizirov();
    void Ostanov();
    void Prodolz();
    void Ostanov2();
    void VklKlapan();
    void ViklKlapan();
    void nachOtpLitri();
    void nachOtpSum();
    void zadatsum();
    void chitatsum();
    void chtenieSummatorov();
    void obnunlSummatorov();
    void Versia();

    // The request with the window's current inputs.
    void send(DispenserRequest request);
    RequestInputs inputs() const;

private:
    DispenserState& state_;
    transport::Transport& line_;
    const Inputs inputs_;
    ui::LogPane& log_;
};

} // namespace dispenser
