#include "application.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    auto windows = mainwindow::createProgramWindows();
    windows.Form1->show();
    return app.exec();
}
