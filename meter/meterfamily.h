#pragma once
// The three-phase meter family ("ЭРК-2"): its panel, the poll of the readings, the
// settings with their read-all and write-all sequences, indication and address, and
// the reply handling, plugged into the window and the line as one FamilyMode.

#include "familymode.h"
#include "lazypanel.h"
#include "meterpanel.h"
#include "meterpoll.h"
#include "meterreplies.h"
#include "powersums.h"

#include <QDateTime>
#include <QTimer>

class QAction;

namespace meter {

class ReadingHistory;

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
    // "График показаний": the readings over time.
    QList<QAction*> windowActions() const override { return {chartAction_}; }

    // Reads one quantity or setting by its code as two hex digits: the code becomes
    // the expected reply, the frame text goes to the meter log and the line. Nothing
    // happens while a reply is awaited; on a closed port the log says the frame was not
    // sent. Returns whether the request went to the line.
    bool readQuantity(const QString& code);

    // The panel's handlers.
    void read_allClick();
    void Timer2Timer();
    void clear_log_ButtonClick();
    void readSettingClick(int setting);
    void writeSettingClick(int setting);
    void rd_kor_allClick();
    void Timer3Timer();
    void wr_kor_allClick();
    void Timer4Timer();
    void Button2Click();
    void Button3Click();
    void Button22Click();

signals:
    // A reading reached its label: for whatever charts or records the readings.
    void readingShown(meter::Quantity quantity, const QString& text, const QDateTime& at);

private:
    // The controller address for a frame, or nothing (and a line in the log).
    std::optional<QString> frameAddress();
    // Logs a write's frame text and hands it to the line.
    void sendWrite(const QString& text);
    // Writes a setting's field; false when the field holds no value to write.
    bool writeSetting(int setting);
    QLineEdit* settingField(int setting) const;
    void setPollButtonsEnabled(bool enabled);
    void startSequence(SettingsSequence& sequence, QTimer* timer);
    void sequenceTick(SettingsSequence& sequence, QTimer* timer, const std::function<void(int)>& doStep);
    void updatePanelEnabled();
    void showReply(const MeterReply& reply);

    // Connects a panel just built and gives it the port's state.
    void panelBuilt(MeterPanel& panel);

    const ui::FamilyContext context_;
    ui::LazyPanel<MeterPanel> panel_;
    // The poll clock; closing the port stops it.
    QTimer* const Timer2_;
    // The read-all and write-all clocks.
    QTimer* const Timer3_;
    QTimer* const Timer4_;
    // Every reading that reached a label, for the chart and its CSV.
    ReadingHistory* const readings_;
    QAction* const chartAction_;
    PollCycle poll_;
    // The powers as decoded, for the panel's sum and the chart's.
    PowerSums powerSums_;
    SettingsSequence readAll_;
    SettingsSequence writeAll_;
    // The code of the last read that went out: where its reply is shown.
    std::uint8_t expectCmd_ = 0;
    // The panel works only while the port is open: a poll on a port never opened would
    // log its requests as if they went out while nothing is sent.
    bool portClosed_ = true;
};

} // namespace meter
