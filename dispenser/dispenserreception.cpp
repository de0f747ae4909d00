#include "dispenserreception.h"

#include "dispensercommands.h"
#include "dispenserpanel.h"
#include "frametext.h"
#include "replytext.h"
#include "transport.h"

#include <QCheckBox>

namespace dispenser {

using namespace transport;

DispenserReception::DispenserReception(SharedState& state, Transport& transport, DispenserCommands& commands,
                                       Targets targets)
    : state_(state)
    , transport_(transport)
    , commands_(commands)
    , targets_(std::move(targets))
{
}

void DispenserReception::replyTimedOut()
{
    decodeAndApply({});
}

void DispenserReception::replyReceived(std::span<const std::uint8_t> reply)
{
    decodeAndApply(reply);
}

void DispenserReception::decodeAndApply(std::span<const std::uint8_t> reply)
{
    apply(decodeDispenserReply(reply, {state_.expectCmd, state_.expectSub}, timeStampText(),
                               targets_.proteus_check->isChecked()));
}

void DispenserReception::apply(const DispenserReply& reply)
{
    DispenserPanel& panel = *targets_.panel;
    if (reply.status) {
        panel.Danstat->setText(reply.status->Danstat);
        panel.StatSost->setText(reply.status->StatSost);
    }
    if (reply.pricePerLitre) {
        targets_.skritPanelki();
        panel.stoimlitr->setText(*reply.pricePerLitre);
        showWithMenu(panel.SumPanel);
    }
    if (reply.totalisers) {
        targets_.skritPanelki();
        panel.NeflitrSum->setText(reply.totalisers->NeflitrSum);
        panel.flitrSum->setText(reply.totalisers->flitrSum);
        panel.NefDenSum->setText(reply.totalisers->NefDenSum);
        showWithMenu(panel.SummarnikiPanel);
    }

    if (reply.followUpBeforeLines)
        sendFollowUp(reply.followUp);
    for (const QString& line : reply.lines)
        appendLine(targets_.dannieListBox1, line);
    if (!reply.followUpBeforeLines)
        sendFollowUp(reply.followUp);

    // Set after the continuation went out: the window it opened is the long one.
    if (reply.replyWindowMs)
        transport_.Timer1->setInterval(*reply.replyWindowMs);
}

void DispenserReception::sendFollowUp(FollowUp followUp)
{
    switch (followUp) {
    case FollowUp::None:
        break;
    case FollowUp::ReadTotalisers:
        commands_.chtenieSummatorov();
        break;
    case FollowUp::ReadPrice:
        commands_.chitatsum();
        break;
    case FollowUp::ContinueVersion:
        transport_.obrabZapstr(QStringLiteral("31"));
        break;
    }
}

void DispenserReception::showWithMenu(QWidget* popup)
{
    popup->show();
    popup->raise();
    targets_.RabPanel->show();
    targets_.panel->MenyPanel->show();
}

} // namespace dispenser
