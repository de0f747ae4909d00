#include "memoryfamily.h"

#include "frametext.h"
#include "logline.h"
#include "logpane.h"
#include "sharedlogs.h"
#include "transport.h"

#include <QComboBox>

namespace memory {

MemoryFamily::MemoryFamily(const ui::FamilyContext& context)
    : QObject(context.clientArea)
    , context_(context)
    , panel_(context.clientArea, [this](MemoryPanel& panel) { panelBuilt(panel); })
{
    setObjectName(QStringLiteral("MemoryFamily"));
    // The request log; the meter notes the answers to its writes there too.
    context.sharedLogs.keep(ui::kRequestLog, [this] { return panel_->Memo1; });
}

void MemoryFamily::panelBuilt(MemoryPanel& panel)
{
    panel.setKeyDownHandler([this](MemoryArea area, MemoryKey key) { addressKeyDown(area, key); });
    connect(panel.ZamenaBitIR, &QPushButton::clicked, this, &MemoryFamily::ZamenaBitIRClick);
    connect(panel.ZamenaBitEX, &QPushButton::clicked, this, &MemoryFamily::ZamenaBitEXClick);
    connect(panel.VklEmul, &QPushButton::clicked, this, &MemoryFamily::VklEmulClick);
    connect(panel.viklEmul, &QPushButton::clicked, this, &MemoryFamily::viklEmulClick);
    if (frame_)
        layout(*frame_);
}

template <typename Step>
void MemoryFamily::run(Step step)
{
    transport::Transport& line = context_.line;
    MemoryControls controls = panel_->controls();
    controls.kontroller = context_.address.typed();
    const MemoryOutput output = step(controls, LineStatus{.busy = line.busy(), .open = line.portOpen()});
    panel_->show(controls, output);
    for (const QString& frame : output.frames)
        line.obrabZapstr(frame);
}

void MemoryFamily::addressKeyDown(MemoryArea area, MemoryKey key)
{
    run([&](MemoryControls& c, LineStatus line) { return exchange_.keyDown(area, key, c, line); });
}

void MemoryFamily::ZamenaBitIRClick()
{
    run([&](MemoryControls& c, LineStatus line) { return exchange_.ZamenaBitIRClick(c, line); });
}

void MemoryFamily::ZamenaBitEXClick()
{
    run([&](MemoryControls& c, LineStatus line) { return exchange_.ZamenaBitEXClick(c, line); });
}

void MemoryFamily::VklEmulClick()
{
    run([&](MemoryControls& c, LineStatus line) { return exchange_.VklEmulClick(c, line); });
}

void MemoryFamily::viklEmulClick()
{
    run([&](MemoryControls& c, LineStatus line) { return exchange_.viklEmulClick(c, line); });
}

void MemoryFamily::hidePanels()
{
    if (MemoryPanel* panel = panel_.ifBuilt())
        panel->QLpanelGL->hide();
}

void MemoryFamily::showPanels()
{
    panel_->QLpanelGL->show();
}

void MemoryFamily::setHintsVisible(bool visible)
{
    // A panel not built yet has its hints hidden already.
    if (!visible && !panel_.ifBuilt())
        return;
    for (QLabel* hint : {panel_->Label10, panel_->Label12, panel_->Label13})
        hint->setVisible(visible);
}

void MemoryFamily::layout(const ui::WindowFrame& frame)
{
    frame_ = frame;
    if (!panel_.ifBuilt())
        return;
    QFrame* const ql = panel_->QLpanelGL;
    ql->resize(frame.outerWidth - ql->x() - 10, frame.outerHeight - 10 - frame.chrome - ql->y());

    const auto areaPanes = panel_->areaPanes();
    const int paneTop = areaPanes[0]->view()->y();
    const int paneHeight = ql->height() - paneTop - 100;
    for (ui::LogPane* pane : areaPanes)
        pane->view()->resize(pane->view()->width(), paneHeight);

    QWidget* const memo2 = panel_->Memo2->view();
    memo2->setGeometry(memo2->x(), paneTop + paneHeight + 10, ql->width() - 10, memo2->height());
}

std::vector<ui::LogPane*> MemoryFamily::fontPanes() const
{
    const auto panes = panel_->areaPanes();
    return {panes.begin(), panes.end()};
}

void MemoryFamily::frameSent(const QString& line, bool active)
{
    Q_UNUSED(active);
    panel_->Memo2->appendLine(line);
}

void MemoryFamily::replyWindowEnded(std::span<const std::uint8_t> reply)
{
    // Every reply is logged before anything else; this protocol has no checksums.
    panel_->Memo2->appendLine(QStringLiteral("<-") + transport::byteText(reply));
    if (reply.empty())
        panel_->Memo1->appendLine(transport::timeOutLine());
    run([&](MemoryControls& c, LineStatus line) { return exchange_.replyWindowEnded(reply, c, line); });
}

void MemoryFamily::lineNotice(const QString& line)
{
    panel_->Memo2->appendLine(line);
}

} // namespace memory
