// "Настройка" → "COM-порт": the line-settings window, shown with the port closed so
// that new settings reach the device through the next "Открыть".

#include "tform1.h"

#include "errorboundary.h"
#include "tform2.h"

namespace mainwindow {

void TForm1::COMnastroikaClick()
{
    ClosePortClick();
    pokaznastr();
    if (settingsWindow_)
        settingsWindow_->exec();
}

void TForm1::pokaznastr()
{
    if (settingsWindow_)
        settingsWindow_->showSettings(Comm1_);
}

void TForm1::priminnastroiki()
{
    if (!settingsWindow_)
        return;
    // All four or none: a window that shows one value while the port keeps another
    // would mislead the operator.
    if (const QString refusal = settingsWindow_->refusal(); !refusal.isEmpty()) {
        showErrorBox(settingsWindow_, refusal);
        return;
    }
    runCommand(settingsWindow_, [this] {
        settingsWindow_->SpeedChange(Comm1_);
        settingsWindow_->BITChange(Comm1_);
        settingsWindow_->chetnostChange(Comm1_);
        settingsWindow_->StopBitChange(Comm1_);
    });
}

} // namespace mainwindow
