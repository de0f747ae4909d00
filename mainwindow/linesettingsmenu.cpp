// "Настройка" → "COM-порт": the line-settings window, shown with the port closed so
// that new settings reach the device through the next "Открыть".

#include "tform1.h"

#include "errorboundary.h"
#include "tform2.h"

namespace mainwindow {

ComPortNastroika::TForm2* TForm1::settingsWindow()
{
    if (!settingsWindow_) {
        settingsWindow_ = std::make_unique<ComPortNastroika::TForm2>();
        settingsWindow_->setApplyHandler([this] { priminnastroiki(); });
    }
    return settingsWindow_.get();
}

void TForm1::COMnastroikaClick()
{
    ClosePortClick();
    pokaznastr();
    settingsWindow()->exec();
}

void TForm1::pokaznastr()
{
    settingsWindow()->showSettings(session_->comm().LineSettings());
}

void TForm1::priminnastroiki()
{
    ComPortNastroika::TForm2* const window = settingsWindow();
    // All four or none: a window that shows one value while the port keeps another
    // would mislead the operator.
    if (const QString refusal = window->refusal(); !refusal.isEmpty()) {
        showErrorBox(window, refusal);
        return;
    }
    // One record, applied once: a refusal leaves the line as it was.
    runCommand(window, [this, window] {
        commport::TComm& comm = session_->comm();
        comm.SetLineSettings(window->lineSettings(comm.LineSettings()));
    });
}

} // namespace mainwindow
