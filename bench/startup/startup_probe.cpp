// The program's start as the console makes it, ending at the first exposed main
// window: prints the monotonic clock at that moment and exits. With "--empty" it
// shows an empty main window with a menu bar instead, the floor any Qt program pays.

#include "application.h"
#include "guardedapplication.h"

#include <QEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

class FirstExpose : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            std::_Exit(0); // the time to exit is not start-up
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    const bool empty = argc > 1 && std::strcmp(argv[1], "--empty") == 0;
    mainwindow::GuardedApplication app(argc, argv);
    FirstExpose watcher;
    if (empty) {
        QMainWindow window;
        window.menuBar()->addMenu(QStringLiteral("Файл"));
        window.resize(840, 690);
        window.winId();
        window.windowHandle()->installEventFilter(&watcher);
        window.show();
        return app.exec();
    }
    auto windows = mainwindow::createProgramWindows();
    windows.Form1->winId();
    windows.Form1->windowHandle()->installEventFilter(&watcher);
    windows.Form1->show();
    return app.exec();
}
