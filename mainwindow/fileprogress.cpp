#include "fileprogress.h"

#include <algorithm>

namespace mainwindow {

namespace {
constexpr int kSteps = 1000;
} // namespace

FileProgress::FileProgress(QWidget* parent, const QString& label, int delayMs)
    : dialog_(label, QStringLiteral("Отмена"), 0, kSteps, parent)
{
    dialog_.setObjectName(QStringLiteral("FileProgress"));
    dialog_.setWindowTitle(QStringLiteral("QLDIXw"));
    // The main window takes no input meanwhile; the line and the timers go on.
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setMinimumDuration(delayMs);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setValue(0);
}

ui::WorkProgress FileProgress::steps()
{
    return [this](qint64 done, qint64 total) {
        const qint64 step = total > 0 ? done * kSteps / total : kSteps;
        // The dialog repaints and serves events only when the value moves.
        if (step != dialog_.value())
            dialog_.setValue(static_cast<int>(std::min<qint64>(step, kSteps - 1)));
        return !dialog_.wasCanceled();
    };
}

} // namespace mainwindow
