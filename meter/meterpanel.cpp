#include "meterpanel.h"

#include "controlnames.h"
#include "logpane.h"

using transport::makeControl;

namespace meter {

MeterPanel::MeterPanel(QWidget* clientArea)
    : QObject(clientArea)
    , ERK2Panel(makeControl<QFrame>(clientArea, "ERK2Panel"))
    , Memo_log(transport::makeLogPane(ERK2Panel, "Memo_log"))
    , Timer2(new QTimer(this))
{
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(300);
    ERK2Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ERK2Panel->setGeometry(0, 56, 825, 441);
    ERK2Panel->hide();
    Memo_log->setGeometry(520, 8, 297, 425);
}

} // namespace meter
