#include "errorboundary.h"

#include "openfailure.h"

#include <QMessageBox>

namespace mainwindow {

QString errorBoxText(const std::exception& error)
{
    return ports::failureText(error);
}

void showErrorBox(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QStringLiteral("QLDIXw"), text);
}

bool runCommand(QWidget* parent, const std::function<void()>& command)
{
    try {
        command();
        return true;
    } catch (const std::exception& error) {
        showErrorBox(parent, errorBoxText(error));
    }
    return false;
}

} // namespace mainwindow
