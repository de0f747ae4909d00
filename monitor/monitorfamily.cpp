#include "monitorfamily.h"

#include "backgroundread.h"
#include "capturenames.h"
#include "capturesave.h"
#include "logfileio.h"
#include "logpane.h"
#include "tform2.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

namespace monitor {

namespace {

using portsession::PortSession;

const QString kCaptureFilter = QStringLiteral("Запись линии (*.qlcap)");
const QString kLogFilter = QStringLiteral("LogDIXW (*.LogDIXW)");

// A capture larger than this is not read: it would not fit the view anyway.
constexpr qint64 kCaptureByteLimit = 1LL << 30;

QString defaultChooser(QWidget* parent, bool save, const QString& caption, const QString& filter)
{
    return save ? QFileDialog::getSaveFileName(parent, caption, QString(), filter)
                : QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString sideName(Side side)
{
    return side == Side::A ? QStringLiteral("A") : QStringLiteral("B");
}

} // namespace

MonitorFamily::MonitorFamily(const ui::FamilyContext& context)
    : QObject(context.clientArea)
    , context_(context)
    , panel_(context.clientArea, [this](MonitorPanel& panel) { panelBuilt(panel); })
    , chooseFile_(defaultChooser)
{
    setObjectName(QStringLiteral("MonitorFamily"));
}

MonitorFamily::~MonitorFamily() = default;

LineMonitor& MonitorFamily::lineMonitor()
{
    panel_.get();
    return *monitor_;
}

void MonitorFamily::panelBuilt(MonitorPanel& panel)
{
    // The taps' ports are opened only once the mode is used.
    monitor_ = new LineMonitor(this);
    LineMonitor& monitor = *monitor_;

    const QStringList names = monitor.tap(Side::A).readPortNames();
    for (QComboBox* box : panel.ports) {
        box->addItems(names);
        box->setEditText(QString());
    }
    connect(&monitor.tap(Side::A), &PortSession::portNamesChanged, this, [&panel](const QStringList& list) {
        for (QComboBox* box : panel.ports) {
            const QString text = box->currentText();
            box->clear();
            box->addItems(list);
            box->setEditText(text);
        }
    });
    for (Side side : {Side::A, Side::B}) {
        connect(panel.settingsButtons[std::size_t(sideIndex(side))], &QPushButton::clicked, this,
                [this, side] { settingsClick(side); });
        showTapState(side);
    }
    connect(&monitor, &LineMonitor::tapStateChanged, this, [this](Side side) { showTapState(side); });

    const std::pair<QPushButton*, void (MonitorFamily::*)()> buttons[] = {
        {panel.startButton, &MonitorFamily::startClick},
        {panel.stopButton, &MonitorFamily::stopClick},
        {panel.clearButton, &MonitorFamily::clearClick},
        {panel.openCaptureButton, &MonitorFamily::openCaptureClick},
        {panel.saveCaptureButton, &MonitorFamily::saveCaptureClick},
        {panel.saveLogButton, &MonitorFamily::saveLogClick},
    };
    for (const auto& [button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, handler);

    showPresentation();
    connect(panel.protocol, &QComboBox::currentIndexChanged, this,
            [this](int index) { monitor_->setProtocol(static_cast<Protocol>(index)); });
    panel.gap->setKeyboardTracking(false);
    connect(panel.gap, &QDoubleSpinBox::valueChanged, this, [this](double value) { monitor_->setGapCharacters(value); });
    connect(&monitor, &LineMonitor::presentationChanged, this, &MonitorFamily::showPresentation);
    connect(&monitor, &LineMonitor::fileToReadAgain, this, [this] {
        readCaptureFile(monitor_->shownFile(), monitor_->capture().protocol, monitor_->capture().gapCharacters);
    });

    ui::LogPane* const log = panel.MonitorLog;
    connect(&monitor, &LineMonitor::linesAdded, this, [log](const QStringList& lines) {
        for (const QString& line : lines)
            log->appendLine(line);
    });
    connect(&monitor, &LineMonitor::linesReplaced, this, [log](const QStringList& lines) { log->setLines(lines); });
    connect(&monitor, &LineMonitor::listeningChanged, this, &MonitorFamily::showListening);
    // Built after the window was laid out: it takes the window's size as it is now.
    if (frame_.outerWidth > 0)
        layout(frame_);
}

void MonitorFamily::hidePanels()
{
    if (MonitorPanel* panel = panel_.ifBuilt())
        panel->MonitorPanelFrame->hide();
}

void MonitorFamily::showPanels()
{
    panel_->MonitorPanelFrame->show();
}

void MonitorFamily::layout(const ui::WindowFrame& frame)
{
    frame_ = frame;
    MonitorPanel* panel = panel_.ifBuilt();
    if (!panel)
        return;
    QFrame* const f = panel->MonitorPanelFrame;
    panel->resize(frame.outerWidth - f->x() - 10, frame.outerHeight - 10 - frame.chrome - f->y());
}

std::vector<ui::LogPane*> MonitorFamily::fontPanes() const
{
    return {panel_->MonitorLog};
}

void MonitorFamily::frameSent(const QString& line, bool active)
{
    Q_UNUSED(line);
    Q_UNUSED(active);
}

void MonitorFamily::replyWindowEnded(std::span<const std::uint8_t> reply)
{
    Q_UNUSED(reply);
}

void MonitorFamily::lineNotice(const QString& line)
{
    panel_->MonitorLog->appendLine(QStringLiteral("Порт консоли: ") + line);
}

void MonitorFamily::showTapState(Side side)
{
    MonitorPanel& panel = panel_.get();
    const PortSession& tap = monitor_->tap(side);
    QString text;
    switch (tap.state()) {
    case PortSession::State::Open:
        text = QStringLiteral("слушает %1, %2").arg(tap.name(), lineFormatText(lineFormatOf(tap.comm().LineSettings())));
        break;
    case PortSession::State::Waiting:
        text = QStringLiteral("ждёт устройство %1").arg(tap.name());
        break;
    case PortSession::State::Closed:
        text = QStringLiteral("закрыт, %1").arg(lineFormatText(lineFormatOf(tap.comm().LineSettings())));
        break;
    default:
        // A line behind a device server, being connected.
        text = QStringLiteral("соединяется с %1").arg(tap.name());
        break;
    }
    QLabel* label = panel.states[std::size_t(sideIndex(side))];
    label->setText(text);
    label->setAccessibleName(QStringLiteral("Сторона %1: %2").arg(sideName(side), text));
}

void MonitorFamily::showListening(bool listening)
{
    MonitorPanel& panel = panel_.get();
    // While a capture is read, only its cancel is offered: what the reading ends in
    // replaces whatever would be heard or changed meanwhile.
    const bool reading = bool(reading_);
    panel.startButton->setEnabled(!listening && !reading);
    panel.stopButton->setEnabled(listening);
    panel.clearButton->setEnabled(!reading);
    panel.openCaptureButton->setEnabled(!listening);
    panel.saveCaptureButton->setEnabled(!reading);
    panel.saveLogButton->setEnabled(!reading);
    panel.protocol->setEnabled(!reading);
    panel.gap->setEnabled(!reading);
    for (QComboBox* box : panel.ports)
        box->setEnabled(!listening && !reading);
}

void MonitorFamily::showPresentation()
{
    MonitorPanel& panel = panel_.get();
    const QSignalBlocker protocolQuiet(panel.protocol);
    const QSignalBlocker gapQuiet(panel.gap);
    panel.protocol->setCurrentIndex(static_cast<int>(monitor_->protocol()));
    panel.gap->setValue(monitor_->gapCharacters());
}

void MonitorFamily::startClick()
{
    MonitorPanel& panel = panel_.get();
    lineMonitor().start(panel.ports[0]->currentText(), panel.ports[1]->currentText());
}

void MonitorFamily::stopClick()
{
    lineMonitor().stop();
}

void MonitorFamily::clearClick()
{
    lineMonitor().clear();
}

void MonitorFamily::settingsClick(Side side)
{
    auto& window = settingsWindows_[std::size_t(sideIndex(side))];
    if (!window) {
        window = std::make_unique<ComPortNastroika::TForm2>(panel_->MonitorPanelFrame);
        window->setObjectName(QStringLiteral("TForm2_Monitor") + sideName(side));
        window->setWindowTitle(QStringLiteral("COM-порт настройка — сторона %1").arg(sideName(side)));
        window->setApplyHandler([this, side] { applySettings(side); });
    }
    window->showSettings(lineMonitor().tap(side).comm().LineSettings());
    // Not exec(): the window answers while the monitor goes on listening.
    window->open();
}

void MonitorFamily::applySettings(Side side)
{
    ComPortNastroika::TForm2* window = settingsWindows_[std::size_t(sideIndex(side))].get();
    if (const QString refusal = window->refusal(); !refusal.isEmpty()) {
        QMessageBox::warning(window, window->windowTitle(), refusal);
        return;
    }
    try {
        LineMonitor& monitor = lineMonitor();
        monitor.setLineSettings(side, window->lineSettings(monitor.tap(side).comm().LineSettings()));
    } catch (const std::exception& error) {
        QMessageBox::critical(window, window->windowTitle(),
                              QStringLiteral("Настройки не применены: %1").arg(QString::fromLocal8Bit(error.what())));
    }
    showTapState(side);
}

void MonitorFamily::openCaptureClick()
{
    if (reading_) {
        // The button cancels the reading under way: the pane keeps what it showed.
        reading_.reset();
        showReading(-1);
        return;
    }
    const QString path = chooseFile_(panel_->MonitorPanelFrame, false, QStringLiteral("Открыть запись линии"), kCaptureFilter);
    if (!path.isEmpty())
        openCapture(path);
}

void MonitorFamily::saveCaptureClick()
{
    const QString path = chooseFile_(panel_->MonitorPanelFrame, true, QStringLiteral("Сохранить запись линии"), kCaptureFilter);
    if (!path.isEmpty())
        saveCapture(linecapture::withCaptureSuffix(path));
}

void MonitorFamily::saveLogClick()
{
    const QString path = chooseFile_(panel_->MonitorPanelFrame, true, QStringLiteral("Сохранить журнал монитора"), kLogFilter);
    if (!path.isEmpty())
        saveLog(ui::withLogSuffix(path));
}

void MonitorFamily::fileError(const QString& what, const QString& path, const QString& reason)
{
    QMessageBox::critical(panel_->MonitorPanelFrame, QStringLiteral("Монитор линии"),
                          QStringLiteral("%1 %2\n%3").arg(what, path, reason));
}

bool MonitorFamily::openCapture(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        fileError(QStringLiteral("Запись не открыта:"), path, QStringLiteral("это не файл"));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        fileError(QStringLiteral("Запись не открыта:"), path, file.errorString());
        return false;
    }
    if (file.size() > kCaptureByteLimit) {
        fileError(QStringLiteral("Запись не открыта:"), path, QStringLiteral("файл больше 1 ГБ"));
        return false;
    }
    readCaptureFile(path, std::nullopt, std::nullopt);
    return true;
}

void MonitorFamily::readCaptureFile(const QString& path, std::optional<Protocol> protocol, std::optional<double> gap)
{
    lineMonitor().stop();
    auto read = std::make_shared<CaptureLines>();
    QThread* const windowThread = QThread::currentThread();
    reading_ = std::make_unique<linecapture::BackgroundRead>([=](linecapture::ReadProgress& progress) {
        *read = readCaptureLines(path, protocol, gap, kPaneLineLimit, windowThread, progress);
    });
    connect(reading_.get(), &linecapture::BackgroundRead::progressed, this, &MonitorFamily::showReading);
    connect(reading_.get(), &linecapture::BackgroundRead::finished, this, [this, path, read] {
        // Not deleted under its own signal.
        reading_.release()->deleteLater();
        showReading(-1);
        captureRead(path, *read);
    });
    showReading(0);
}

void MonitorFamily::showReading(int percent)
{
    MonitorPanel& panel = panel_.get();
    QPushButton* const button = panel.openCaptureButton;
    if (percent < 0) {
        button->setText(QStringLiteral("Открыть запись ..."));
        button->setAccessibleName(QString());
    } else {
        button->setText(QStringLiteral("Отменить (%1 %)").arg(percent));
        button->setAccessibleName(QStringLiteral("Отменить чтение записи, прочитано %1 %").arg(percent));
    }
    showListening(monitor_->listening());
}

void MonitorFamily::captureRead(const QString& path, CaptureLines& read)
{
    if (read.stopped)
        return;
    if (!read.error.isEmpty()) {
        fileError(QStringLiteral("Запись не прочитана:"), path,
                  read.errorLine > 0 ? QStringLiteral("строка %1: %2").arg(read.errorLine).arg(read.error) : read.error);
        return;
    }
    lineMonitor().showFile(read.header, path);
    panel_->MonitorLog->takeLines(*read.lines);
}

bool MonitorFamily::saveCapture(const QString& path)
{
    LineMonitor& monitor = lineMonitor();
    const QString failure = monitor.shownFile().isEmpty()
        ? linecapture::saveCapture(monitor.capture(), path)
        : linecapture::saveCaptureCopy(monitor.shownFile(), monitor.capture(), path);
    if (!failure.isEmpty())
        fileError(QStringLiteral("Запись не сохранена:"), path, failure);
    return failure.isEmpty();
}

bool MonitorFamily::saveLog(const QString& path)
{
    // The log file's code page has no arrow.
    const ui::LogWrite written = ui::writeLogFile(path, panel_->MonitorLog->store(), {}, [](QString& line) {
        line.replace(QStringLiteral("→"), QStringLiteral("->"));
    });
    if (written.outcome == ui::FileOutcome::Failed)
        fileError(QStringLiteral("Журнал не сохранён:"), path, ui::fileFailureReason(written.errorCode));
    else if (written.outcome == ui::FileOutcome::NotAFile)
        fileError(QStringLiteral("Журнал не сохранён:"), path, ui::fileFailureReason(written.special));
    return written.outcome == ui::FileOutcome::Done;
}

} // namespace monitor
