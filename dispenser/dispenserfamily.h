#pragma once
// The dispenser controller family ("DIX"): the raw console, the button menu with its
// pop-ups, the requests and the reply handling, plugged into the window and the line
// as one FamilyMode.

#include "consolepanel.h"
#include "dispensercommands.h"
#include "dispenserpanel.h"
#include "dispenserreception.h"
#include "dispenserstate.h"
#include "familymode.h"

#include <QObject>

namespace dispenser {

// The top, in the window's client coordinates, of a pop-up opened at the pointer.
constexpr int popupTop(int pointerY, int windowTop, int captionHeight)
{
    return pointerY - windowTop - captionHeight - 22;
}

class DispenserFamily : public QObject, public ui::FamilyMode {
    Q_OBJECT
public:
    explicit DispenserFamily(const ui::FamilyContext& context);

    // The mode switch.
    QString switchCaption() const override { return QStringLiteral("DIX"); }
    const char* switchName() const override { return "prog_DIX"; }
    void hidePanels() override;
    void showPanels() override;
    int minimumOuterHeight(int chrome) const override;
    void layout(const ui::WindowFrame& frame) override;
    std::vector<ui::LogPane*> fontPanes() const override { return {console_.dannieListBox1}; }
    ui::LogPane* fileLog() const override { return console_.dannieListBox1; }

    // The line.
    void requestComposed(const QString& text) override;
    void frameSent(const QString& line, bool active) override;
    void replyWindowEnded(std::span<const std::uint8_t> reply) override;
    void lineNotice(const QString& line) override;

    // The menu's click handlers.
    void ActivirovatButtonClick();
    void OstanovitButtonClick();
    void ProdolzitButtonClick();
    void Button1Click();
    void PassivizirButtonClick();
    void VersiaButtonClick();
    void StatusButtonClick();
    void VklKlapButtonClick();
    void ViklKlapButtonClick();
    void ObnulSumButtonClick();
    void OtpLitrClick();
    void OtprSumClick();
    void zadatsumPanelClick();
    void OtpLitrButtonClick();
    void OtpSumButtonClick();
    void SumLitrChitButtonClick();
    void SumLitrZadatButtonClick();
    void SumChitButtonClick();
    // The pop-ups' background clicks.
    void OtprSumPanel1Click();
    void OtpLitrPanel1Click();
    void SumPanelClick();
    void SummarnikiPanelClick();

private:
    // Moves a pop-up to the pointer's height; its left edge follows the menu.
    void placePopup(QWidget* popup) const;

    const ui::FamilyContext context_;
    ConsolePanel console_;
    DispenserPanel panel_;
    DispenserState state_;
    DispenserCommands commands_;
    DispenserReception reception_;
};

} // namespace dispenser
