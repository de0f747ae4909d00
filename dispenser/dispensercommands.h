#pragma once
// Every dispenser request: reads the address, the hose and the fields, announces the
// reply it expects and hands its frame text to the transport.

#include "requesttexts.h"
#include "sharedstate.h"

#include <QString>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace transport {
class Transport;
}

namespace dispenser {

class DispenserCommands {
public:
    struct Controls {
        QComboBox* kontroller = nullptr;
        QComboBox* trkedit = nullptr;
        QLineEdit* litri = nullptr;
        QLineEdit* Stoimost = nullptr;
        QLineEdit* stoimlitr = nullptr;
        QLineEdit* otpravedit = nullptr;
        QPlainTextEdit* dannieListBox1 = nullptr;
    };

    DispenserCommands(transport::SharedState& state, transport::Transport& transport, Controls controls);

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
    transport::SharedState& state_;
    transport::Transport& transport_;
    const Controls controls_;
};

} // namespace dispenser
