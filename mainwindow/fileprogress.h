#pragma once
// The progress window of a long load or save. It comes up only when the job looks like
// taking more than half a second; from then on every step repaints the window and lets
// the line go on, and "Отмена" ends the job with nothing changed.

#include "logfileio.h"

#include <QProgressDialog>

namespace mainwindow {

class FileProgress {
public:
    FileProgress(QWidget* parent, const QString& label);

    WorkProgress steps();
    // The last step, which cannot be cut into pieces. When it will be long, the window
    // comes up (if it is not up yet) and says what the program waits for.
    void finalStep(const QString& label, bool slow);

private:
    QProgressDialog dialog_;
};

} // namespace mainwindow
