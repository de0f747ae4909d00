#pragma once
// The three-phase meter family ("ЭРК-2"): its panel, its poll clock and its log,
// plugged into the window and the line as one FamilyMode.

#include "familymode.h"
#include "meterpanel.h"

#include <QTimer>

namespace meter {

class MeterFamily : public QObject, public ui::FamilyMode {
    Q_OBJECT
public:
    explicit MeterFamily(const ui::FamilyContext& context);

    QString switchCaption() const override { return QStringLiteral("ЭРК-2"); }
    const char* switchName() const override { return "prog_ERK2"; }
    void hidePanels() override;
    void showPanels() override;
    // The memory mode's address hint stays up when the meter is chosen after it.
    bool hidesOtherHints() const override { return false; }
    void layout(const ui::WindowFrame& frame) override;
    void portOpened() override;
    void portClosed() override;

    void frameSent(const QString& line, bool active) override;
    void replyWindowEnded(std::span<const std::uint8_t> reply) override;
    void lineNotice(const QString& line) override;

    // Reads one quantity: its frame text goes to the meter log and the line.
    void readQuantity(const QString& code);

private:
    const ui::FamilyContext context_;
    MeterPanel panel_;
    // The poll clock; closing the port stops it.
    QTimer* const Timer2_;
};

} // namespace meter
