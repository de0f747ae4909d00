#include "application.h"

#include "appfont.h"
#include "qttranslations.h"

namespace mainwindow {

ProgramWindows createProgramWindows()
{
    setApplicationFont();
    installQtTranslations();
    ProgramWindows windows;
    windows.Form1 = std::make_unique<TForm1>();
    return windows;
}

} // namespace mainwindow
