#include "dispensercommands.h"

#include "logline.h"
#include "logpane.h"
#include "transport.h"

#include <QComboBox>
#include <QLineEdit>

namespace dispenser {

DispenserCommands::DispenserCommands(DispenserState& state, transport::Transport& line, Inputs inputs,
                                     ui::LogPane& log)
    : state_(state)
    , line_(line)
    , inputs_(inputs)
    , log_(log)
{
}

RequestInputs DispenserCommands::inputs() const
{
    RequestInputs in;
    in.address = inputs_.address();
    in.hose = inputs_.trkedit->currentText();
    in.litri = inputs_.litri->text();
    in.Stoimost = inputs_.Stoimost->text();
    in.stoimlitr = inputs_.stoimlitr->text();
    in.templates = state_.controlRequests;
    return in;
}

void DispenserCommands::send(DispenserRequest request)
{
    // The reply being awaited was announced by the request that is still open: a
    // request refused now must not change how that reply is read.
    if (line_.busy())
        return;
    if (request == DispenserRequest::Version)
        log_.appendLine(QStringLiteral("Версия"));

    const PreparedRequest prepared = prepareRequest(request, inputs());
    if (!prepared.refusal.isEmpty()) {
        log_.appendLine(prepared.refusal);
        return;
    }
    // The raw console still shows the request's text, to be sent once the port is open.
    if (!line_.portOpen())
        log_.appendLine(transport::portClosedLine());
    state_.expected = {prepared.expectCmd, prepared.expectSub};
    line_.sendComposedRequest(prepared.text);
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
