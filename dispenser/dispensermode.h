#pragma once
// The dispenser mode as the main window sees it: the requests, the reply handling,
// and the menu's click handlers, which open the pop-ups at the pointer's height.

#include "dispensercommands.h"
#include "dispenserreception.h"

#include <QObject>
#include <functional>

class QCheckBox;
class QComboBox;

namespace transport {
class ConsolePanel;
}

namespace dispenser {

class DispenserPanel;

// What the dispenser needs of the main window.
struct DispenserShell {
    // Hides every panel of the main window.
    std::function<void()> skritPanelki;
    // The main window's outer top edge on the screen.
    std::function<int()> windowTop;
    // The height of a window caption.
    std::function<int()> captionHeight;
};

// The top, in the window's client coordinates, of a pop-up opened at the pointer.
constexpr int popupTop(int pointerY, int windowTop, int captionHeight)
{
    return pointerY - windowTop - captionHeight - 22;
}

class DispenserMode : public QObject {
    Q_OBJECT
public:
    DispenserMode(transport::SharedState& state, transport::Transport& transport, QComboBox* kontroller,
                  QCheckBox* proteus_check, transport::ConsolePanel& console, DispenserPanel& panel,
                  DispenserShell shell);

    DispenserCommands commands;
    DispenserReception reception;

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

    // Moves a pop-up to the pointer's height; its left edge follows the menu.
    void placePopup(QWidget* popup) const;

private:
    DispenserPanel& panel_;
    const DispenserShell shell_;
};

} // namespace dispenser
