#pragma once
// The program's windows: the main window from start to end, the other two from their
// first showing on.

#include "tform1.h"
#include "tform2.h"
#include "tform3.h"

#include <memory>

namespace mainwindow {

// The main window owns the line-settings and About windows and makes them on first
// use: most runs never open them, and the start is shorter without them.
struct ProgramWindows {
    std::unique_ptr<TForm1> Form1;

    ComPortNastroika::TForm2* Form2() const { return Form1->settingsWindow(); }
    oprog::TForm3* Form3() const { return Form1->aboutWindow(); }
};

// Sets the application font, puts Qt's own words into Russian and creates the main
// window. Needs a QApplication.
ProgramWindows createProgramWindows();

} // namespace mainwindow
