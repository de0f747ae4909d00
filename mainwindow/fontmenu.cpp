// "Настройка" → "Шрифт...": one font for the log panes the families name.

#include "tform1.h"

#include "controlnames.h"
#include "familymode.h"
#include "logpane.h"

#include <QAction>
#include <QMenu>

namespace mainwindow {

QFont TForm1::startPaneFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    return font;
}

void TForm1::setupFontMenu()
{
    QAction* font = ui::nameControl(N7_->addAction(QStringLiteral("Шрифт...")), "N8");
    connect(font, &QAction::triggered, this, &TForm1::N8Click);
}

void TForm1::N8Click()
{
    if (!dialogs_.font)
        return;
    // The dialog opens at the font chosen last, whatever the panes show now.
    const std::optional<QFont> chosen = dialogs_.font(this, FontDialog1_);
    if (!chosen)
        return;
    FontDialog1_ = *chosen;
    // Hidden panes too: a family's panes keep their font while another mode is shown.
    for (const ui::FamilyMode* family : families_)
        for (ui::LogPane* pane : family->fontPanes())
            pane->setFont(FontDialog1_);
}

} // namespace mainwindow
