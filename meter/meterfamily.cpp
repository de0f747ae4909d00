#include "meterfamily.h"

#include "readingchartloader.h"
#include "readinghistory.h"

#include "controlleraddress.h"
#include "frametext.h"
#include "logline.h"
#include "logpane.h"
#include "metertexts.h"
#include "sharedlogs.h"
#include "transport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace meter {

namespace {

constexpr int kPollMs = 300;
constexpr int kSlowPollMs = 5000;
constexpr int kSequenceMs = 300;

const QString kStartPollCaption = QStringLiteral("Читать");
const QString kStopPollCaption = QStringLiteral("Прекратить чтение");

QTimer* makeTimer(QObject* parent, const char* name, int ms)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(ms);
    return timer;
}

void setTextColour(QLabel* label, bool red)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, red ? QColor(255, 0, 0) : QColor(0, 128, 0));
    label->setPalette(palette);
}

} // namespace

MeterFamily::MeterFamily(const ui::FamilyContext& context)
    : QObject(context.clientArea)
    , context_(context)
    , panel_(context.clientArea, [this](MeterPanel& panel) { panelBuilt(panel); })
    , Timer2_(makeTimer(this, "Timer2", kPollMs))
    , Timer3_(makeTimer(this, "Timer3", kSequenceMs))
    , Timer4_(makeTimer(this, "Timer4", kSequenceMs))
    , readings_(new ReadingHistory(this))
    , chartAction_(makeReadingChartAction(*readings_, context.clientArea))
{
    setObjectName(QStringLiteral("MeterFamily"));
    connect(Timer2_, &QTimer::timeout, this, &MeterFamily::Timer2Timer);
    connect(Timer3_, &QTimer::timeout, this, &MeterFamily::Timer3Timer);
    connect(Timer4_, &QTimer::timeout, this, &MeterFamily::Timer4Timer);
}

void MeterFamily::panelBuilt(MeterPanel& panel)
{
    const std::pair<QPushButton*, void (MeterFamily::*)()> handlers[] = {
        {panel.read_all, &MeterFamily::read_allClick},
        {panel.clear_log_Button, &MeterFamily::clear_log_ButtonClick},
        {panel.rd_kor_all, &MeterFamily::rd_kor_allClick},
        {panel.wr_kor_all, &MeterFamily::wr_kor_allClick},
        {panel.Button2, &MeterFamily::Button2Click},
        {panel.Button3, &MeterFamily::Button3Click},
        {panel.Button22, &MeterFamily::Button22Click},
    };
    for (const auto& [button, handler] : handlers)
        connect(button, &QPushButton::clicked, this, handler);
    for (int setting = 0; setting < kSettingCount; ++setting) {
        const auto i = static_cast<std::size_t>(setting);
        connect(panel.readButtons[i], &QPushButton::clicked, this, [this, setting] { readSettingClick(setting); });
        connect(panel.writeButtons[i], &QPushButton::clicked, this, [this, setting] { writeSettingClick(setting); });
    }
    updatePanelEnabled();
}

void MeterFamily::hidePanels()
{
    if (MeterPanel* panel = panel_.ifBuilt())
        panel->ERK2Panel->hide();
}

void MeterFamily::showPanels()
{
    panel_->ERK2Panel->show();
}

void MeterFamily::layout(const ui::WindowFrame& frame)
{
    // The meter panel keeps its size and place whatever the window's size.
    Q_UNUSED(frame);
}

void MeterFamily::portOpened()
{
    portClosed_ = false;
    updatePanelEnabled();
}

void MeterFamily::portClosed()
{
    Timer2_->stop();
    // A read-all or write-all the close cuts short goes no further: on a closed port
    // each of its ticks would log a request as if it went out. What was left of it is
    // said once, as for any click whose frame the closed port did not take.
    const bool sequenceCut = readAll_.running() || writeAll_.running();
    readAll_.stop();
    writeAll_.stop();
    Timer3_->stop();
    Timer4_->stop();
    if (MeterPanel* panel = panel_.ifBuilt(); panel && sequenceCut)
        panel->Memo_log->appendLine(transport::portClosedLine());
    portClosed_ = true;
    updatePanelEnabled();
}

void MeterFamily::frameSent(const QString& line, bool active)
{
    // The meter log shows the requests' frame text and the results, not raw frames.
    Q_UNUSED(line);
    Q_UNUSED(active);
}

void MeterFamily::replyWindowEnded(std::span<const std::uint8_t> reply)
{
    showReply(decodeReply(reply, expectCmd_));
}

void MeterFamily::lineNotice(const QString& line)
{
    panel_->Memo_log->appendLine(line);
}

std::optional<QString> MeterFamily::frameAddress()
{
    const QString typed = context_.address.typed();
    const std::optional<QString> address = transport::frameAddressText(typed);
    if (!address)
        panel_->Memo_log->appendLine(transport::badAddressLine(typed));
    return address;
}

bool MeterFamily::readQuantity(const QString& code)
{
    if (context_.line.busy())
        return false;
    QString text;
    if (code == QStringLiteral("45")) {
        // The address read needs no address: it is how a lost meter is found again.
        text = readRequestText(QString(), code);
    } else {
        const std::optional<QString> address = frameAddress();
        if (!address)
            return false;
        text = readRequestText(*address, code);
    }
    // Set only for a request that goes: the reply of the window now open must still
    // be shown where its own request said.
    expectCmd_ = static_cast<std::uint8_t>(transport::hexText6ToInt(code));
    panel_->Memo_log->appendLine(text);
    // The raw console still shows the request's text, to be sent once the port is open.
    const bool open = context_.line.portOpen();
    if (!open)
        panel_->Memo_log->appendLine(transport::portClosedLine());
    context_.line.sendComposedRequest(text);
    return open;
}

void MeterFamily::read_allClick()
{
    if (panel_->read_all->text() == kStartPollCaption) {
        poll_.restart();
        powerSums_.restart();
        // The chart does not join the readings of this run to those of the last.
        readings_->breakSeries();
        panel_->read_all->setText(kStopPollCaption);
        setPollButtonsEnabled(false);
        Timer2_->start();
    } else {
        Timer2_->stop();
        panel_->read_all->setText(kStartPollCaption);
        setPollButtonsEnabled(true);
    }
}

void MeterFamily::setPollButtonsEnabled(bool enabled)
{
    for (int setting = 0; setting < kSettingCount; ++setting) {
        if (!lockedWhilePolling(setting))
            continue;
        panel_->readButtons[static_cast<std::size_t>(setting)]->setEnabled(enabled);
        panel_->writeButtons[static_cast<std::size_t>(setting)]->setEnabled(enabled);
    }
}

void MeterFamily::Timer2Timer()
{
    // A changed "Протеус" box takes effect from the next tick on.
    const int interval = context_.line.slowLine() ? kSlowPollMs : kPollMs;
    if (Timer2_->interval() != interval)
        Timer2_->setInterval(interval);

    const std::optional<PollRequest> sent = poll_.tick(panel_->read_combo->currentIndex(), [this](const PollRequest& request) {
        return readQuantity(transport::hexByte(quantityInfo(request.quantity).code));
    });
    if (sent) {
        setTextColour(panel_->readings[quantityIndex(sent->quantity)], sent->red);
        powerSums_.asked(sent->quantity);
    }
}

void MeterFamily::clear_log_ButtonClick()
{
    panel_->Memo_log->clear();
}

void MeterFamily::readSettingClick(int setting)
{
    readQuantity(transport::hexByte(kSettings.at(static_cast<std::size_t>(setting)).readCode));
}

void MeterFamily::sendWrite(const QString& text)
{
    panel_->Memo_log->appendLine(text);
    if (context_.line.busy()) {
        panel_->Memo_log->appendLine(notSentWhileBusyLine());
        return;
    }
    if (!context_.line.portOpen()) {
        panel_->Memo_log->appendLine(transport::portClosedLine());
        return;
    }
    context_.line.obrabZapstr(text);
}

bool MeterFamily::writeSetting(int setting)
{
    const std::optional<std::uint16_t> value = settingValue(settingField(setting)->text());
    if (!value)
        return false;
    if (const std::optional<QString> address = frameAddress())
        sendWrite(settingWriteText(*address, setting, *value));
    return true;
}

void MeterFamily::writeSettingClick(int setting)
{
    if (!writeSetting(setting))
        QMessageBox::warning(panel_->ERK2Panel, QStringLiteral("QLDIXw"),
                             settingValueError(setting, settingField(setting)->text()));
}

void MeterFamily::startSequence(SettingsSequence& sequence, QTimer* timer)
{
    sequence.start();
    timer->start();
    updatePanelEnabled();
}

void MeterFamily::sequenceTick(SettingsSequence& sequence, QTimer* timer, const std::function<void(int)>& doStep)
{
    if (sequence.tick(context_.line.busy(), doStep) == SettingsSequence::Tick::Finished || !sequence.running()) {
        timer->stop();
        updatePanelEnabled();
    }
}

void MeterFamily::rd_kor_allClick()
{
    startSequence(readAll_, Timer3_);
}

void MeterFamily::Timer3Timer()
{
    sequenceTick(readAll_, Timer3_, [this](int setting) {
        if (setting == 0)
            for (QLineEdit* field : panel_->settingFields)
                field->clear();
        readSettingClick(setting);
    });
}

void MeterFamily::wr_kor_allClick()
{
    startSequence(writeAll_, Timer4_);
}

void MeterFamily::Timer4Timer()
{
    sequenceTick(writeAll_, Timer4_, [this](int setting) {
        // A field without a value is skipped with its line: the panel is disabled, so a
        // box would only stall the sequence.
        if (!writeSetting(setting))
            panel_->Memo_log->appendLine(settingValueError(setting, settingField(setting)->text()));
    });
}

QLineEdit* MeterFamily::settingField(int setting) const
{
    return panel_->settingFields.at(static_cast<std::size_t>(setting));
}

void MeterFamily::updatePanelEnabled()
{
    MeterPanel* const panel = panel_.ifBuilt();
    if (!panel)
        return; // the panel takes the state when it is built
    panel->ERK2Panel->setEnabled(!portClosed_ && !readAll_.running() && !writeAll_.running());
}

void MeterFamily::Button2Click()
{
    std::array<bool, kIndicationChannels> channels{};
    for (std::size_t k = 0; k < channels.size(); ++k)
        channels[k] = panel_->Ind_ch[k]->isChecked();
    if (const std::optional<QString> address = frameAddress())
        sendWrite(indicationWriteText(*address, indicationMask(channels)));
}

void MeterFamily::Button3Click()
{
    const QString typed = panel_->edit_adr_zap->text();
    const std::optional<QString> newAddress = newMeterAddress(typed);
    if (!newAddress) {
        panel_->Memo_log->appendLine(newMeterAddressError(typed));
        return;
    }
    if (const std::optional<QString> address = frameAddress())
        sendWrite(addressWriteText(*address, *newAddress));
}

void MeterFamily::Button22Click()
{
    readQuantity(transport::hexByte(kReadAddressCode));
}

void MeterFamily::showReply(const MeterReply& reply)
{
    for (const QString& line : reply.logLines)
        panel_->Memo_log->appendLine(line);
    if (reply.requestLogLine)
        context_.sharedLogs.append(ui::kRequestLog, *reply.requestLogLine);

    if (reply.reading) {
        const Reading& reading = *reply.reading;
        panel_->readings[quantityIndex(reading.quantity)]->setText(reading.digits);
        // UTC is cheap to stamp; the chart and its CSV show local time.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        emit readingShown(reading.quantity, reading.digits, now);
        readings_->add(reading.quantity, now, reading.value);
        const PowerSums::Sums sums = powerSums_.add(reading);
        if (sums.label)
            panel_->summ_wat->setText(*sums.label);
        if (sums.ofCycle)
            readings_->add(Quantity::Sum, now, *sums.ofCycle);
    }
    if (reply.setting)
        settingField(reply.setting->setting)->setText(QString::number(reply.setting->value));
    if (reply.address) {
        panel_->edit_adr_zap->setText(reply.address->text);
        if (reply.address->controllerItem)
            context_.address.selectItem(*reply.address->controllerItem);
    }
}

} // namespace meter
