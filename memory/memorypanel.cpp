#include "memorypanel.h"

#include "controlnames.h"
#include "logpane.h"

using ui::makeControl;
using ui::makeLabel;

namespace memory {

MemoryPanel::MemoryPanel(QWidget* clientArea)
    : QObject(clientArea)
    , QLpanelGL(makeControl<QFrame>(clientArea, "QLpanelGL"))
    , dannielistBoxQLIR(new ui::LogPane(QLpanelGL, "dannielistBoxQLIR"))
    , dannielistBoxQLEX(new ui::LogPane(QLpanelGL, "dannielistBoxQLEX"))
    , dannielistBoxQLIM(new ui::LogPane(QLpanelGL, "dannielistBoxQLIM"))
    , dannielistBoxQLIF(new ui::LogPane(QLpanelGL, "dannielistBoxQLIF"))
    , Memo1(new ui::LogPane(QLpanelGL, "Memo1"))
    , Memo2(new ui::LogPane(QLpanelGL, "Memo2"))
    , Label10(makeLabel(clientArea, "Label10", QStringLiteral("Для чтения введите адрес и нажмите Enter"), {400, 0}))
    , Label12(makeLabel(clientArea, "Label12", QStringLiteral("Для записи введите значение через пробел после адреса"),
                        {400, 16}))
    , Label13(makeLabel(clientArea, "Label13", QStringLiteral("и нажмите Enter"), {400, 32}))
{
    QLpanelGL->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QLpanelGL->setGeometry(2, 56, 807, 321);
    QLpanelGL->hide();
    for (QLabel* hint : {Label10, Label12, Label13})
        hint->hide();

    int left = 8;
    for (ui::LogPane* pane : areaPanes()) {
        pane->view()->setGeometry(left, 64, 145, 157);
        left += 150;
    }
    Memo1->view()->setGeometry(608, 64, 193, 157);
    Memo2->view()->setGeometry(8, 231, 797, 80);
}

std::array<ui::LogPane*, MemoryAreaCount> MemoryPanel::areaPanes() const
{
    return {dannielistBoxQLIR, dannielistBoxQLEX, dannielistBoxQLIM, dannielistBoxQLIF};
}

} // namespace memory
