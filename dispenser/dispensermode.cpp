#include "dispensermode.h"

#include "consolepanel.h"
#include "dispenserpanel.h"

#include <QCursor>

namespace dispenser {

DispenserMode::DispenserMode(transport::SharedState& state, transport::Transport& transport,
                             QComboBox* kontroller, QCheckBox* proteus_check, transport::ConsolePanel& console,
                             DispenserPanel& panel, DispenserShell shell)
    : commands(state, transport,
               {.kontroller = kontroller,
                .trkedit = panel.trkedit,
                .litri = panel.litri,
                .Stoimost = panel.Stoimost,
                .stoimlitr = panel.stoimlitr,
                .otpravedit = console.otpravedit,
                .dannieListBox1 = console.dannieListBox1})
    , reception(state, transport, commands,
                {.dannieListBox1 = console.dannieListBox1,
                 .RabPanel = console.RabPanel,
                 .panel = &panel,
                 .proteus_check = proteus_check,
                 .skritPanelki = shell.skritPanelki})
    , panel_(panel)
    , shell_(std::move(shell))
{
    const std::pair<QPushButton*, void (DispenserMode::*)()> handlers[] = {
        {panel.ActivirovatButton, &DispenserMode::ActivirovatButtonClick},
        {panel.OstanovitButton, &DispenserMode::OstanovitButtonClick},
        {panel.ProdolzitButton, &DispenserMode::ProdolzitButtonClick},
        {panel.Button1, &DispenserMode::Button1Click},
        {panel.PassivizirButton, &DispenserMode::PassivizirButtonClick},
        {panel.VersiaButton, &DispenserMode::VersiaButtonClick},
        {panel.StatusButton, &DispenserMode::StatusButtonClick},
        {panel.VklKlapButton, &DispenserMode::VklKlapButtonClick},
        {panel.ViklKlapButton, &DispenserMode::ViklKlapButtonClick},
        {panel.OtpLitrButton, &DispenserMode::OtpLitrButtonClick},
        {panel.OtpSumButton, &DispenserMode::OtpSumButtonClick},
        {panel.SumLitrChitButton, &DispenserMode::SumLitrChitButtonClick},
        {panel.SumLitrZadatButton, &DispenserMode::SumLitrZadatButtonClick},
        {panel.SumChitButton, &DispenserMode::SumChitButtonClick},
        {panel.ObnulSumButton, &DispenserMode::ObnulSumButtonClick},
        {panel.OtpLitr, &DispenserMode::OtpLitrClick},
        {panel.OtprSum, &DispenserMode::OtprSumClick},
        {panel.zadatsumPanel, &DispenserMode::zadatsumPanelClick},
    };
    for (const auto& [button, handler] : handlers)
        connect(button, &QPushButton::clicked, this, handler);
}

void DispenserMode::ActivirovatButtonClick() { commands.Activirovat(); }
void DispenserMode::OstanovitButtonClick() { commands.Ostanov(); }
void DispenserMode::ProdolzitButtonClick() { commands.Prodolz(); }
void DispenserMode::Button1Click() { commands.Ostanov2(); }
void DispenserMode::PassivizirButtonClick() { commands.Passivizirov(); }
void DispenserMode::VersiaButtonClick() { commands.Versia(); }
void DispenserMode::StatusButtonClick() { commands.zaprStatusChten(); }
void DispenserMode::VklKlapButtonClick() { commands.VklKlapan(); }
void DispenserMode::ViklKlapButtonClick() { commands.ViklKlapan(); }
void DispenserMode::ObnulSumButtonClick() { commands.obnunlSummatorov(); }
void DispenserMode::OtpLitrClick() { commands.nachOtpLitri(); }
void DispenserMode::OtprSumClick() { commands.nachOtpSum(); }
void DispenserMode::zadatsumPanelClick() { commands.zadatsum(); }

void DispenserMode::placePopup(QWidget* popup) const
{
    popup->move(popup->x(), popupTop(QCursor::pos().y(), shell_.windowTop(), shell_.captionHeight()));
}

void DispenserMode::OtpLitrButtonClick()
{
    placePopup(panel_.OtpLitrPanel1);
    panel_.OtpLitrPanel1->show();
    panel_.OtpLitrPanel1->raise();
    panel_.OtprSumPanel1->hide();
    panel_.SumPanel->hide();
}

void DispenserMode::OtpSumButtonClick()
{
    placePopup(panel_.OtprSumPanel1);
    panel_.OtpLitrPanel1->hide();
    panel_.OtprSumPanel1->show();
    panel_.OtprSumPanel1->raise();
    panel_.SumPanel->hide();
}

void DispenserMode::SumLitrChitButtonClick()
{
    placePopup(panel_.SumPanel);
    commands.chitatsum();
}

void DispenserMode::SumLitrZadatButtonClick()
{
    shell_.skritPanelki();
    placePopup(panel_.SumPanel);
    panel_.OtpLitrPanel1->hide();
    panel_.OtprSumPanel1->hide();
    panel_.SumPanel->show();
    panel_.SumPanel->raise();
}

void DispenserMode::SumChitButtonClick()
{
    placePopup(panel_.SummarnikiPanel);
    commands.chtenieSummatorov();
}

} // namespace dispenser
