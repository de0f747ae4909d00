#include "application.h"

#include "appfont.h"

namespace mainwindow {

ProgramWindows createProgramWindows()
{
    setApplicationFont();
    ProgramWindows windows;
    windows.Form1 = std::make_unique<TForm1>();
    windows.Form2 = std::make_unique<ComPortNastroika::TForm2>();
    windows.Form1->setSettingsWindow(windows.Form2.get());
    windows.Form2->setApplyHandler([form1 = windows.Form1.get()] { form1->priminnastroiki(); });
    windows.Form3 = std::make_unique<oprog::TForm3>();
    windows.Form1->setAboutWindow(windows.Form3.get());
    return windows;
}

} // namespace mainwindow
