#include "dispenserfamily.h"

#include "logline.h"
#include "logpane.h"
#include "transport.h"

#include <QComboBox>
#include <QCursor>

namespace dispenser {

DispenserFamily::DispenserFamily(const ui::FamilyContext& context)
    : QObject(context.clientArea)
    , context_(context)
    , console_(context.clientArea)
    , panel_(context.clientArea)
    , commands_(state_, context.line,
                {.address = context.address.typed,
                 .trkedit = panel_.trkedit,
                 .litri = panel_.litri,
                 .Stoimost = panel_.Stoimost,
                 .stoimlitr = panel_.stoimlitr},
                *console_.dannieListBox1)
    , reception_(state_, context.line, commands_,
                 {.log = console_.dannieListBox1,
                  .RabPanel = console_.RabPanel,
                  .panel = &panel_,
                  .hideAllPanels = context.hideAllPanels})
{
    setObjectName(QStringLiteral("DispenserFamily"));
    console_.setSender([this](const QString& text) {
        if (!context_.line.busy() && !context_.line.portOpen())
            console_.dannieListBox1->appendLine(transport::portClosedLine());
        else
            context_.line.obrabZapstr(text);
    });

    const std::pair<QPushButton*, void (DispenserFamily::*)()> handlers[] = {
        {panel_.ActivirovatButton, &DispenserFamily::ActivirovatButtonClick},
        {panel_.OstanovitButton, &DispenserFamily::OstanovitButtonClick},
        {panel_.ProdolzitButton, &DispenserFamily::ProdolzitButtonClick},
        {panel_.Button1, &DispenserFamily::Button1Click},
        {panel_.PassivizirButton, &DispenserFamily::PassivizirButtonClick},
        {panel_.VersiaButton, &DispenserFamily::VersiaButtonClick},
        {panel_.StatusButton, &DispenserFamily::StatusButtonClick},
        {panel_.VklKlapButton, &DispenserFamily::VklKlapButtonClick},
        {panel_.ViklKlapButton, &DispenserFamily::ViklKlapButtonClick},
        {panel_.OtpLitrButton, &DispenserFamily::OtpLitrButtonClick},
        {panel_.OtpSumButton, &DispenserFamily::OtpSumButtonClick},
        {panel_.SumLitrChitButton, &DispenserFamily::SumLitrChitButtonClick},
        {panel_.SumLitrZadatButton, &DispenserFamily::SumLitrZadatButtonClick},
        {panel_.SumChitButton, &DispenserFamily::SumChitButtonClick},
        {panel_.ObnulSumButton, &DispenserFamily::ObnulSumButtonClick},
        {panel_.OtpLitr, &DispenserFamily::OtpLitrClick},
        {panel_.OtprSum, &DispenserFamily::OtprSumClick},
        {panel_.zadatsumPanel, &DispenserFamily::zadatsumPanelClick},
    };
    for (const auto& [button, handler] : handlers)
        connect(button, &QPushButton::clicked, this, handler);

    const std::pair<ClickablePanel*, void (DispenserFamily::*)()> popups[] = {
        {panel_.OtprSumPanel1, &DispenserFamily::OtprSumPanel1Click},
        {panel_.OtpLitrPanel1, &DispenserFamily::OtpLitrPanel1Click},
        {panel_.SumPanel, &DispenserFamily::SumPanelClick},
        {panel_.SummarnikiPanel, &DispenserFamily::SummarnikiPanelClick},
    };
    for (const auto& [popup, handler] : popups)
        connect(popup, &ClickablePanel::clicked, this, handler);
}

void DispenserFamily::hidePanels()
{
    for (QWidget* panel : std::initializer_list<QWidget*>{panel_.OtpLitrPanel1, panel_.SumPanel, panel_.OtprSumPanel1,
                                                          panel_.SummarnikiPanel, console_.RabPanel, panel_.MenyPanel})
        panel->hide();
}

void DispenserFamily::showPanels()
{
    panel_.MenyPanel->show();
    console_.RabPanel->show();
}

int DispenserFamily::minimumOuterHeight(int chrome) const
{
    // The status group at the menu's foot must stay inside the window.
    return panel_.MenyPanel->y() + panel_.StatPanel->y() + panel_.StatPanel->height() + chrome;
}

void DispenserFamily::layout(const ui::WindowFrame& frame)
{
    QFrame* const meny = panel_.MenyPanel;
    QFrame* const rab = console_.RabPanel;
    QWidget* const log = console_.dannieListBox1->view();
    QLineEdit* const line = console_.otpravedit;

    // The menu keeps 10 pixels from the right and bottom edges, the pop-ups hang off
    // its left edge, the console fills the rest.
    meny->setGeometry(frame.outerWidth - meny->width() - 10, meny->y(), meny->width(),
                      frame.outerHeight - meny->y() - 10 - frame.chrome);
    rab->resize(frame.outerWidth - meny->width() - 20, frame.outerHeight - 10 - frame.chrome - rab->y());
    log->resize(rab->width() - 10, rab->height() - line->height() - 50);
    line->resize(log->width(), line->height());

    QWidget* const money = panel_.OtprSumPanel1;
    money->move(meny->x() - money->width(), money->y());
    panel_.OtpLitrPanel1->move(money->x(), panel_.OtpLitrPanel1->y());
    panel_.SumPanel->move(money->x(), panel_.SumPanel->y());
    panel_.SummarnikiPanel->move(meny->x() - panel_.SummarnikiPanel->width(), panel_.SummarnikiPanel->y());
}

void DispenserFamily::requestComposed(const QString& text)
{
    console_.otpravedit->setText(text);
}

void DispenserFamily::frameSent(const QString& line, bool active)
{
    if (active)
        console_.dannieListBox1->appendLine(line);
}

void DispenserFamily::replyWindowEnded(std::span<const std::uint8_t> reply)
{
    reception_.replyWindowEnded(reply);
}

void DispenserFamily::lineNotice(const QString& line)
{
    console_.dannieListBox1->appendLine(line);
}

void DispenserFamily::ActivirovatButtonClick() { commands_.Activirovat(); }
void DispenserFamily::OstanovitButtonClick() { commands_.Ostanov(); }
void DispenserFamily::ProdolzitButtonClick() { commands_.Prodolz(); }
void DispenserFamily::Button1Click() { commands_.Ostanov2(); }
void DispenserFamily::PassivizirButtonClick() { commands_.Passivizirov(); }
void DispenserFamily::VersiaButtonClick() { commands_.Versia(); }
void DispenserFamily::StatusButtonClick() { commands_.zaprStatusChten(); }
void DispenserFamily::VklKlapButtonClick() { commands_.VklKlapan(); }
void DispenserFamily::ViklKlapButtonClick() { commands_.ViklKlapan(); }
void DispenserFamily::ObnulSumButtonClick() { commands_.obnunlSummatorov(); }
void DispenserFamily::OtpLitrClick() { commands_.nachOtpLitri(); }
void DispenserFamily::OtprSumClick() { commands_.nachOtpSum(); }
void DispenserFamily::zadatsumPanelClick() { commands_.zadatsum(); }

void DispenserFamily::placePopup(QWidget* popup) const
{
    popup->move(popup->x(), popupTop(QCursor::pos().y(), context_.windowTop(), context_.captionHeight()));
}

void DispenserFamily::OtpLitrButtonClick()
{
    placePopup(panel_.OtpLitrPanel1);
    panel_.OtpLitrPanel1->show();
    panel_.OtpLitrPanel1->raise();
    panel_.OtprSumPanel1->hide();
    panel_.SumPanel->hide();
}

void DispenserFamily::OtpSumButtonClick()
{
    placePopup(panel_.OtprSumPanel1);
    panel_.OtpLitrPanel1->hide();
    panel_.OtprSumPanel1->show();
    panel_.OtprSumPanel1->raise();
    panel_.SumPanel->hide();
}

void DispenserFamily::SumLitrChitButtonClick()
{
    placePopup(panel_.SumPanel);
    commands_.chitatsum();
}

void DispenserFamily::SumLitrZadatButtonClick()
{
    context_.hideAllPanels();
    placePopup(panel_.SumPanel);
    panel_.OtpLitrPanel1->hide();
    panel_.OtprSumPanel1->hide();
    panel_.SumPanel->show();
    panel_.SumPanel->raise();
}

void DispenserFamily::SumChitButtonClick()
{
    placePopup(panel_.SummarnikiPanel);
    commands_.chtenieSummatorov();
}

void DispenserFamily::OtprSumPanel1Click()
{
    context_.hideAllPanels();
    showPanels();
}

void DispenserFamily::SummarnikiPanelClick()
{
    context_.hideAllPanels();
    showPanels();
}

void DispenserFamily::OtpLitrPanel1Click()
{
    context_.hideAllPanels();
}

void DispenserFamily::SumPanelClick()
{
    context_.hideAllPanels();
}

} // namespace dispenser
