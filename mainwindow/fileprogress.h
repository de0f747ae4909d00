#pragma once
// The progress window of a long load or save. It comes up only when the job looks like
// taking longer than a delay (half a second); from then on every step repaints the window
// and lets the line go on, and "Отмена" ends the job with nothing changed.

#include "logfileio.h"

#include <QProgressDialog>

namespace mainwindow {

class FileProgress {
public:
    FileProgress(QWidget* parent, const QString& label, int delayMs);

    ui::WorkProgress steps();

private:
    QProgressDialog dialog_;
};

} // namespace mainwindow
