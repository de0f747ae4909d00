#pragma once
// The program's windows, created in order at start and alive until the end.

#include "tform1.h"
#include "tform2.h"
#include "tform3.h"

#include <memory>

namespace mainwindow {

struct ProgramWindows {
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<ComPortNastroika::TForm2> Form2;
    std::unique_ptr<oprog::TForm3> Form3;
};

// Sets the application font and creates the three windows, the line-settings and
// About windows hidden. Needs a QApplication.
ProgramWindows createProgramWindows();

} // namespace mainwindow
