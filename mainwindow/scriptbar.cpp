#include "scriptbar.h"

#include "backgroundread.h"
#include "controlleraddress.h"
#include "controlnames.h"
#include "errorboundary.h"
#include "frametext.h"
#include "logline.h"
#include "portsession.h"
#include "runtexts.h"
#include "scriptparser.h"
#include "transport.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace mainwindow {

namespace {

const QString kLogPrefix = QStringLiteral("Сценарий: ");

} // namespace

ScriptBar::ScriptBar(QWidget* topRow, transport::Transport& line, portsession::PortSession& session, Hooks hooks)
    : QObject(topRow)
    , line_(line)
    , driver_(new testscript::ScriptDriver(line, this))
    , progress_(ui::makeControl<QLabel>(topRow, "ScriptProgress"))
    , stopButton_(ui::makeControl<QPushButton>(topRow, "StopScript", QStringLiteral("Остановить сценарий")))
    , hooks_(std::move(hooks))
{
    setObjectName(QStringLiteral("ScriptBar"));
    // Over the memory mode's hints, which mean nothing while the panels are disabled.
    progress_->setGeometry(400, 2, 140, 17);
    stopButton_->setGeometry(540, 0, 120, 21);
    progress_->hide();
    stopButton_->hide();
    connect(stopButton_, &QPushButton::clicked, this, &ScriptBar::stop);

    using testscript::ScriptDriver;
    connect(driver_, &ScriptDriver::caseStarted, this,
            [this](const testscript::ScriptCase& scriptCase) { log(QStringLiteral("case ") + scriptCase.name); });
    connect(driver_, &ScriptDriver::stepStarted, this,
            [this](const testscript::ScriptStep& step, qint64 number, qint64 total) {
                showProgress(number, total);
                log(QStringLiteral("шаг %1 из %2, строка %3: %4").arg(number).arg(total).arg(step.line).arg(step.source));
            });
    connect(driver_, &ScriptDriver::stepDone, this, [this](const testscript::StepDone& done, qint64 total) {
        using Kind = testscript::ScriptStep::Kind;
        if (done.step->kind == Kind::Send) {
            // The reply as the console shows its own: the frames went to the log as they left.
            const auto reply = std::span(reinterpret_cast<const std::uint8_t*>(done.reply.constData()),
                                         static_cast<std::size_t>(done.reply.size()));
            line_.noticeToActive(reply.empty() ? transport::timeOutLine()
                                               : transport::receivedFrameLine(reply, transport::timeStampText()));
            if (done.replyTime)
                log(QStringLiteral("ответ через %1 мс").arg(testscript::replyMilliseconds(*done.replyTime)));
        } else if (done.step->kind != Kind::Wait) {
            showProgress(done.number, total);
            log(testscript::stepLine(done, total));
        }
    });
    connect(driver_, &ScriptDriver::strayBytes, this,
            [this](const testscript::StrayBytes& stray) { log(testscript::strayBytesLine(stray)); });
    connect(driver_, &ScriptDriver::caseFinished, this,
            [this](const testscript::CaseResult& result) { line_.noticeToActive(testscript::caseResultLine(result)); });
    connect(driver_, &ScriptDriver::finished, this, &ScriptBar::finished);

    // A port that closes ends the run at once, whatever step it is in.
    connect(&session, &portsession::PortSession::stateChanged, this, [this](portsession::PortSession::State state) {
        if (state != portsession::PortSession::State::Open)
            driver_->abort(QStringLiteral("порт закрыт"));
    });
}

ScriptBar::~ScriptBar() = default;

void ScriptBar::log(const QString& line)
{
    line_.noticeToActive(kLogPrefix + line);
}

void ScriptBar::showProgress(qint64 step, qint64 total)
{
    showText(testscript::progressText(step, total));
}

void ScriptBar::showText(const QString& text)
{
    progress_->setText(text);
    progress_->setAccessibleName(text);
}

namespace {

void refuseRun(QWidget* dialogParent, const QString& why)
{
    showErrorBox(dialogParent, QStringLiteral("Сценарий не выполнен.\n") + why);
}

} // namespace

bool ScriptBar::portReady(QWidget* dialogParent) const
{
    if (line_.portOpen())
        return true;
    refuseRun(dialogParent, QStringLiteral("Порт закрыт: сценарий выполняется на открытом порту."));
    return false;
}

void ScriptBar::run(const QString& path, QWidget* dialogParent, const ReplayChoice& replay)
{
    if (running() || !portReady(dialogParent))
        return;
    dialogParent_ = dialogParent;
    earlyWindows_ = replay.earlyWindows;
    // A capture's windows are never shorter than the line's own ("Протеус" included).
    const testscript::ReplayWindows windows{
        .lineWindowMs = line_.slowLine() ? transport::kSlowReplyWindowMs : transport::kReplyWindowMs,
        .windowMs = replay.windowMs};
    auto parse = std::make_shared<testscript::ScriptParse>();
    reading_ = std::make_unique<linecapture::BackgroundRead>([path, parse, windows](linecapture::ReadProgress& progress) {
        *parse = testscript::readScriptFile(path, &progress, windows);
    });
    connect(reading_.get(), &linecapture::BackgroundRead::progressed, this,
            [this](int percent) { showText(QStringLiteral("Чтение файла: %1 %").arg(percent)); });
    connect(reading_.get(), &linecapture::BackgroundRead::finished, this, [this, path, parse] {
        // Not deleted under its own signal.
        reading_.release()->deleteLater();
        scriptRead(path, *parse);
    });
    beginRun();
    showText(QStringLiteral("Чтение файла ..."));
}

void ScriptBar::scriptRead(const QString& path, testscript::ScriptParse& parse)
{
    const auto refuse = [&](const QString& why) {
        endRun();
        refuseRun(dialogParent_, why);
    };
    if (!line_.portOpen()) {
        refuse(QStringLiteral("Порт закрыт: сценарий выполняется на открытом порту."));
        return;
    }
    if (!parse.script) {
        refuse(testscript::scriptErrorText(path, parse));
        return;
    }
    const QString typed = hooks_.typedAddress();
    const std::optional<QString> address = transport::frameAddressText(typed);
    if (!address && parse.script->needsStartAddress) {
        refuse(QStringLiteral("Сценарий подставляет {addr}, а в поле «Адрес» не адрес: «%1».").arg(typed));
        return;
    }
    const qint64 steps = parse.script->stepCount;
    const std::size_t cases = parse.script->cases.size();
    QString why;
    const testscript::RunOptions options{.windowMs = std::nullopt, .earlyWindows = earlyWindows_};
    if (!driver_->start(std::move(*parse.script), address, options, &why)) {
        refuse(why);
        return;
    }
    log(QStringLiteral("%1, case: %2, шагов: %3").arg(QFileInfo(path).fileName()).arg(cases).arg(steps));
    showProgress(1, steps);
}

void ScriptBar::beginRun()
{
    focusBefore_ = QApplication::focusWidget();
    hooks_.setFamiliesEnabled(false);
    progress_->show();
    progress_->raise();
    stopButton_->show();
    stopButton_->raise();
    // The one control that does something during a run; Space or Enter stops it.
    stopButton_->setFocus(Qt::OtherFocusReason);
    emit runningChanged(true);
}

void ScriptBar::endRun()
{
    progress_->hide();
    stopButton_->hide();
    hooks_.setFamiliesEnabled(true);
    if (focusBefore_ && focusBefore_->isEnabled() && focusBefore_->isVisible())
        focusBefore_->setFocus(Qt::OtherFocusReason);
    emit runningChanged(false);
}

void ScriptBar::stop()
{
    if (reading_) {
        // Nothing was sent: the reading is given up and nothing is reported.
        reading_.reset();
        endRun();
        return;
    }
    driver_->stop();
}

void ScriptBar::finished()
{
    const testscript::RunTally counts = testscript::tally(driver_->results());
    bool stopped = false;
    for (const testscript::CaseResult& result : driver_->results())
        stopped = stopped || result.outcome == testscript::CaseOutcome::Stopped;
    QString summary = QStringLiteral("пройдено %1, не пройдено %2").arg(counts.passed).arg(counts.failed);
    if (counts.notRun > 0)
        summary += QStringLiteral(", не выполнено %1").arg(counts.notRun);
    log((stopped ? QStringLiteral("остановлен на шаге %1 из %2; ").arg(driver_->run()->currentStep()).arg(driver_->run()->stepCount())
                 : QStringLiteral("окончен; "))
        + summary);
    endRun();
}

} // namespace mainwindow
