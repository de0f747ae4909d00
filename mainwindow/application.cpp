#include "application.h"

#include "appfont.h"

namespace mainwindow {

ProgramWindows createProgramWindows()
{
    setApplicationFont();
    ProgramWindows windows;
    windows.Form1 = std::make_unique<TForm1>();
    return windows;
}

} // namespace mainwindow
