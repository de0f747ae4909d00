#include "dispensercommands.h"

#include "replytext.h"
#include "transport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace dispenser {

DispenserCommands::DispenserCommands(transport::SharedState& state, transport::Transport& transport,
                                     Controls controls)
    : state_(state)
    , transport_(transport)
    , controls_(controls)
{
}

RequestInputs DispenserCommands::inputs() const
{
    RequestInputs in;
    in.address = controls_.kontroller->currentText();
    in.hose = controls_.trkedit->currentText();
    in.litri = controls_.litri->text();
    in.Stoimost = controls_.Stoimost->text();
    in.stoimlitr = controls_.stoimlitr->text();
    in.templates = state_.controlRequests;
    return in;
}

void DispenserCommands::send(DispenserRequest request)
{
    // The reply being awaited was announced by the request that is still open: a
    // request refused now must not change how that reply is read.
    if (transport_.busy())
        return;
    if (request == DispenserRequest::Version)
        transport::appendLine(controls_.dannieListBox1, QStringLiteral("Версия"));

    const RequestInputs in = inputs();
    const std::optional<PreparedRequest> prepared = prepareRequest(request, in);
    if (!prepared) {
        transport::appendLine(controls_.dannieListBox1, hoseOutOfRangeLine(in.hose));
        return;
    }
    state_.expectCmd = prepared->expectCmd;
    state_.expectSub = prepared->expectSub;
    if (!prepared->envelopeCode.isEmpty()) {
        transport_.OtpravitKnopka(prepared->envelopeData, prepared->envelopeCode);
        return;
    }
    controls_.otpravedit->setText(prepared->text);
    transport_.obrabZapstr(prepared->text);
}

void DispenserCommands::zaprStatusChten() { send(DispenserRequest::Status); }
void DispenserCommands::Activirovat() { send(DispenserRequest::Activate); }
void DispenserCommands::Passivizirov() { send(DispenserRequest::Passivate); }
void DispenserCommands::Ostanov() { send(DispenserRequest::Pause); }
void DispenserCommands::Prodolz() { send(DispenserRequest::Continue); }
void DispenserCommands::Ostanov2() { send(DispenserRequest::Stop); }
void DispenserCommands::VklKlapan() { send(DispenserRequest::ValveOn); }
void DispenserCommands::ViklKlapan() { send(DispenserRequest::ValveOff); }
void DispenserCommands::nachOtpLitri() { send(DispenserRequest::DispenseVolume); }
void DispenserCommands::nachOtpSum() { send(DispenserRequest::DispenseMoney); }
void DispenserCommands::zadatsum() { send(DispenserRequest::PriceWrite); }
void DispenserCommands::chitatsum() { send(DispenserRequest::PriceRead); }
void DispenserCommands::chtenieSummatorov() { send(DispenserRequest::TotaliserRead); }
void DispenserCommands::obnunlSummatorov() { send(DispenserRequest::TotaliserReset); }
void DispenserCommands::Versia() { send(DispenserRequest::Version); }

} // namespace dispenser
