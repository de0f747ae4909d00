#pragma once
// The memory controller family ("QL"): its panel with the four memory areas and the
// two logs of the exchange, plugged into the window and the line as one FamilyMode.
// Every key, click and reply goes through the exchange machine; the family reads the
// panel for it, sends what it returns and shows the rest.

#include "familymode.h"
#include "lazypanel.h"
#include "memoryexchange.h"
#include "memorypanel.h"

#include <optional>

namespace memory {

class MemoryFamily : public QObject, public ui::FamilyMode {
    Q_OBJECT
public:
    explicit MemoryFamily(const ui::FamilyContext& context);

    QString switchCaption() const override { return QStringLiteral("QL"); }
    const char* switchName() const override { return "prog_QL"; }
    void hidePanels() override;
    void showPanels() override;
    void setHintsVisible(bool visible) override;
    void layout(const ui::WindowFrame& frame) override;
    std::vector<ui::LogPane*> fontPanes() const override;

    // Every frame sent in any mode is logged in Memo2.
    void frameSent(const QString& line, bool active) override;
    void replyWindowEnded(std::span<const std::uint8_t> reply) override;
    void lineNotice(const QString& line) override;

    // The panel's handlers.
    void addressKeyDown(MemoryArea area, MemoryKey key);
    void ZamenaBitIRClick();
    void ZamenaBitEXClick();
    void VklEmulClick();
    void viklEmulClick();

private:
    // Runs one event of the exchange on the panel's controls and the line's state,
    // then shows what it did and sends what it built.
    template <typename Step>
    void run(Step step);

    // Connects a panel just built and gives it the window's current layout.
    void panelBuilt(MemoryPanel& panel);

    const ui::FamilyContext context_;
    // Laid out before the panel existed: applied when it is built.
    std::optional<ui::WindowFrame> frame_;
    ui::LazyPanel<MemoryPanel> panel_;
    MemoryExchange exchange_;
};

} // namespace memory
