#include "meterpanel.h"

#include "controlnames.h"
#include "logpane.h"

using ui::makeControl;

namespace meter {

MeterPanel::MeterPanel(QWidget* clientArea)
    : QObject(clientArea)
    , ERK2Panel(makeControl<QFrame>(clientArea, "ERK2Panel"))
    , Memo_log(new ui::LogPane(ERK2Panel, "Memo_log"))
{
    ERK2Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ERK2Panel->setGeometry(0, 56, 825, 441);
    ERK2Panel->hide();
    Memo_log->view()->setGeometry(520, 8, 297, 425);
}

} // namespace meter
