#include "fileprogress.h"

#include <QCoreApplication>

#include <algorithm>

namespace mainwindow {

namespace {
constexpr int kShowAfterMs = 500;
constexpr int kSteps = 1000;
} // namespace

FileProgress::FileProgress(QWidget* parent, const QString& label)
    : dialog_(label, QStringLiteral("Отмена"), 0, kSteps, parent)
{
    dialog_.setObjectName(QStringLiteral("FileProgress"));
    dialog_.setWindowTitle(QStringLiteral("QLDIXw"));
    // The main window takes no input meanwhile; the line and the timers go on.
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setMinimumDuration(kShowAfterMs);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setValue(0);
}

WorkProgress FileProgress::steps()
{
    return [this](qint64 done, qint64 total) {
        const qint64 step = total > 0 ? done * kSteps / total : kSteps;
        // The dialog repaints and serves events only when the value moves.
        if (step != dialog_.value())
            dialog_.setValue(static_cast<int>(std::min<qint64>(step, kSteps - 1)));
        return !dialog_.wasCanceled();
    };
}

void FileProgress::finalStep(const QString& label, bool slow)
{
    if (!dialog_.isVisible() && !slow)
        return;
    dialog_.setLabelText(label);
    dialog_.setCancelButton(nullptr);
    dialog_.setValue(kSteps - 1);
    dialog_.show();
    // Once to map the window, once to paint it.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace mainwindow
