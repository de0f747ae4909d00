#include "application.h"
#include "guardedapplication.h"

int main(int argc, char* argv[])
{
    mainwindow::GuardedApplication app(argc, argv);
    auto windows = mainwindow::createProgramWindows();
    windows.Form1->show();
    return app.exec();
}
