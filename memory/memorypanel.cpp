#include "memorypanel.h"

#include "controlnames.h"
#include "logpane.h"

using transport::makeControl;
using transport::makeLogPane;

namespace memory {

MemoryPanel::MemoryPanel(QWidget* clientArea)
    : QObject(clientArea)
    , QLpanelGL(makeControl<QFrame>(clientArea, "QLpanelGL"))
    , dannielistBoxQLIR(makeLogPane(QLpanelGL, "dannielistBoxQLIR"))
    , dannielistBoxQLEX(makeLogPane(QLpanelGL, "dannielistBoxQLEX"))
    , dannielistBoxQLIM(makeLogPane(QLpanelGL, "dannielistBoxQLIM"))
    , dannielistBoxQLIF(makeLogPane(QLpanelGL, "dannielistBoxQLIF"))
    , Memo1(makeLogPane(QLpanelGL, "Memo1"))
    , Memo2(makeLogPane(QLpanelGL, "Memo2"))
{
    QLpanelGL->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QLpanelGL->setGeometry(2, 56, 807, 321);
    QLpanelGL->hide();

    int left = 8;
    for (QPlainTextEdit* pane : areaPanes()) {
        pane->setGeometry(left, 64, 145, 157);
        left += 150;
    }
    Memo1->setGeometry(608, 64, 193, 157);
    Memo2->setGeometry(8, 231, 797, 80);
}

std::array<QPlainTextEdit*, transport::MemoryAreaCount> MemoryPanel::areaPanes() const
{
    return {dannielistBoxQLIR, dannielistBoxQLEX, dannielistBoxQLIM, dannielistBoxQLIF};
}

} // namespace memory
