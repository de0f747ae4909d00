#include "dispenserreception.h"

#include "dispensercommands.h"
#include "dispenserpanel.h"
#include "frametext.h"
#include "logpane.h"
#include "transport.h"

namespace dispenser {

DispenserReception::DispenserReception(DispenserState& state, transport::Transport& line,
                                       DispenserCommands& commands, Targets targets)
    : state_(state)
    , line_(line)
    , commands_(commands)
    , targets_(std::move(targets))
{
}

void DispenserReception::replyWindowEnded(std::span<const std::uint8_t> reply)
{
    apply(decodeDispenserReply(reply, state_.expected, transport::timeStampText(), line_.slowLine()));
}

void DispenserReception::apply(const DispenserReply& reply)
{
    DispenserPanel& panel = *targets_.panel;
    if (reply.status) {
        panel.Danstat->setText(reply.status->Danstat);
        panel.StatSost->setText(reply.status->StatSost);
    }
    if (reply.pricePerLitre) {
        targets_.hideAllPanels();
        panel.stoimlitr->setText(*reply.pricePerLitre);
        showWithMenu(panel.SumPanel);
    }
    if (reply.totalisers) {
        targets_.hideAllPanels();
        panel.NeflitrSum->setText(reply.totalisers->NeflitrSum);
        panel.flitrSum->setText(reply.totalisers->flitrSum);
        panel.NefDenSum->setText(reply.totalisers->NefDenSum);
        showWithMenu(panel.SummarnikiPanel);
    }

    if (reply.followUpBeforeLines)
        sendFollowUp(reply.followUp);
    for (const QString& line : reply.lines)
        targets_.log->appendLine(line);
    if (!reply.followUpBeforeLines)
        sendFollowUp(reply.followUp);

    // Set after the continuation went out: the window it opened is the long one.
    if (reply.replyWindowMs)
        line_.setReplyWindow(*reply.replyWindowMs);
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
        line_.obrabZapstr(QStringLiteral("31"));
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
