#include "guardedapplication.h"

#include "errorboundary.h"

namespace mainwindow {

bool GuardedApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        showErrorBox(activeWindow(), errorBoxText(error));
    } catch (...) {
        showErrorBox(activeWindow(), QStringLiteral("Неизвестная ошибка"));
    }
    return false;
}

} // namespace mainwindow
