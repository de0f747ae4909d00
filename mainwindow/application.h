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

    ProgramWindows() = default;
    ProgramWindows(ProgramWindows&&) = default;
    ProgramWindows& operator=(ProgramWindows&& other)
    {
        reset();
        Form1 = std::move(other.Form1);
        Form2 = std::move(other.Form2);
        Form3 = std::move(other.Form3);
        return *this;
    }
    ~ProgramWindows() { reset(); }

    // The main window goes first: it uses the other two.
    void reset()
    {
        Form1.reset();
        Form2.reset();
        Form3.reset();
    }
};

// Sets the application font and creates the three windows, the line-settings and
// About windows hidden. Needs a QApplication.
ProgramWindows createProgramWindows();

} // namespace mainwindow
