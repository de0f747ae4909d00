#include "memoryfamily.h"

#include "frametext.h"
#include "logline.h"
#include "logpane.h"

namespace memory {

MemoryFamily::MemoryFamily(const ui::FamilyContext& context)
    : QObject(context.clientArea)
    , context_(context)
    , panel_(context.clientArea)
{
    setObjectName(QStringLiteral("MemoryFamily"));
}

void MemoryFamily::hidePanels()
{
    panel_.QLpanelGL->hide();
}

void MemoryFamily::showPanels()
{
    panel_.QLpanelGL->show();
}

void MemoryFamily::setHintsVisible(bool visible)
{
    for (QLabel* hint : {panel_.Label10, panel_.Label12, panel_.Label13})
        hint->setVisible(visible);
}

void MemoryFamily::layout(const ui::WindowFrame& frame)
{
    QFrame* const ql = panel_.QLpanelGL;
    ql->resize(frame.outerWidth - ql->x() - 10, frame.outerHeight - 10 - frame.chrome - ql->y());

    const auto areaPanes = panel_.areaPanes();
    const int paneTop = areaPanes[0]->view()->y();
    const int paneHeight = ql->height() - paneTop - 100;
    for (ui::LogPane* pane : areaPanes)
        pane->view()->resize(pane->view()->width(), paneHeight);

    QWidget* const memo2 = panel_.Memo2->view();
    memo2->setGeometry(memo2->x(), paneTop + paneHeight + 10, ql->width() - 10, memo2->height());
}

std::vector<ui::LogPane*> MemoryFamily::fontPanes() const
{
    const auto panes = panel_.areaPanes();
    return {panes.begin(), panes.end()};
}

void MemoryFamily::frameSent(const QString& line, bool active)
{
    Q_UNUSED(active);
    panel_.Memo2->appendLine(line);
}

void MemoryFamily::replyWindowEnded(std::span<const std::uint8_t> reply)
{
    // Every reply is logged before anything else; this protocol has no checksums.
    panel_.Memo2->appendLine(QStringLiteral("<-") + transport::byteText(reply));
    if (reply.empty())
        panel_.Memo1->appendLine(transport::timeOutLine());
}

void MemoryFamily::lineNotice(const QString& line)
{
    panel_.Memo2->appendLine(line);
}

} // namespace memory
