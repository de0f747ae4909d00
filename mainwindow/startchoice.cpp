// The port and the mode the program was started with (--port, --mode).

#include "tform1.h"

#include "portcombobox.h"

#include <QAbstractButton>
#include <QButtonGroup>

namespace mainwindow {

void TForm1::startWith(const QString& port, std::optional<int> mode)
{
    if (!port.isEmpty()) {
        showPortName(port);
        COMChange();
    }
    if (mode && *mode >= 0 && *mode < static_cast<int>(families_.size()))
        progItems_->button(*mode)->setChecked(true);
}

} // namespace mainwindow
