#include "errorboundary.h"

#include "commerror.h"
#include "openfailure.h"

#include <QMessageBox>

namespace mainwindow {

QString errorBoxText(const std::exception& error, const QString& device)
{
    QString text = QString::fromLocal8Bit(error.what());
    if (const auto* comm = dynamic_cast<const commport::ECommError*>(&error)) {
        if (!device.isEmpty())
            text += u'\n' + device;
        const qsizetype pathStart = device.indexOf(u'/');
        const QString detail = ports::openFailureDetail(comm->Kind, pathStart >= 0 ? device.mid(pathStart) : QString());
        if (!detail.isEmpty())
            text += u'\n' + detail;
    }
    return text;
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
