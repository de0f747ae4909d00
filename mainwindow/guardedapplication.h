#pragma once
// The last line of the event boundary: an exception that escapes a handler ends that
// command, shows in an error box, and the program goes on. Handlers that expect
// failures (opening a port) catch them themselves and add what the operator needs.

#include <QApplication>

namespace mainwindow {

class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace mainwindow
