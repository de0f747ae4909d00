#pragma once
// The memory controller family ("QL"): its panel with the four memory areas and the
// two logs of the exchange, plugged into the window and the line as one FamilyMode.

#include "familymode.h"
#include "memorypanel.h"

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
    ui::LogPane* requestLog() const override { return panel_.Memo1; }

    // Every frame sent in any mode is logged in Memo2.
    void frameSent(const QString& line, bool active) override;
    void replyWindowEnded(std::span<const std::uint8_t> reply) override;
    void lineNotice(const QString& line) override;

private:
    const ui::FamilyContext context_;
    MemoryPanel panel_;
};

} // namespace memory
