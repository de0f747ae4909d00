#include "scriptdriver.h"

#include "transport.h"

namespace testscript {

ScriptDriver::ScriptDriver(transport::Transport& line, QObject* parent)
    : QObject(parent)
    , line_(&line)
{
    setObjectName(QStringLiteral("ScriptDriver"));
    pause_.setSingleShot(true);
    pause_.setTimerType(Qt::PreciseTimer);
    connect(&pause_, &QTimer::timeout, this, [this] { perform(run_->waitEnded()); });
    connect(&line, &transport::Transport::frameWritten, this, [this](const QByteArray& frame) {
        if (running())
            written_ << frame;
    });
    // A window a family opened before the run ends first; the run begins after it.
    connect(&line, &transport::Transport::replyRead, this, [this] {
        if (std::exchange(awaitingIdleLine_, false))
            QMetaObject::invokeMethod(this, &ScriptDriver::begin, Qt::QueuedConnection);
    });
}

ScriptDriver::~ScriptDriver()
{
    if (running() && line_)
        line_->release();
}

bool ScriptDriver::start(Script script, std::optional<QString> startAddress, QString* why)
{
    if (running()) {
        *why = QStringLiteral("сценарий уже выполняется");
        return false;
    }
    if (!line_ || !line_->portOpen()) {
        *why = QStringLiteral("порт закрыт");
        return false;
    }
    run_ = std::make_unique<ScriptRun>(std::move(script), std::move(startAddress));
    results_.clear();
    // From now on no family sends; the first frame waits for a window still open.
    line_->hold(*this);
    QMetaObject::invokeMethod(this, &ScriptDriver::begin, Qt::QueuedConnection);
    return true;
}

void ScriptDriver::begin()
{
    if (!running() || !line_)
        return;
    if (line_->windowOpen()) {
        awaitingIdleLine_ = true;
        return;
    }
    perform(run_->start());
}

void ScriptDriver::stop()
{
    if (!running())
        return;
    pause_.stop();
    perform(run_->stop(CaseOutcome::Stopped));
}

void ScriptDriver::abort(const QString& why)
{
    if (!running())
        return;
    pause_.stop();
    perform(run_->stop(CaseOutcome::Broken, why));
}

void ScriptDriver::tell(RunEvent& event)
{
    if (auto* started = std::get_if<CaseStarted>(&event)) {
        caseClock_.start();
        emit caseStarted(*started->scriptCase);
    } else if (auto* done = std::get_if<StepDone>(&event)) {
        if (done->step->kind == ScriptStep::Kind::Send)
            done->written = std::exchange(written_, {});
        emit stepDone(*done, run_->stepCount());
    } else if (auto* finished = std::get_if<CaseFinished>(&event)) {
        CaseResult& result = finished->result;
        if (caseClock_.isValid() && result.outcome != CaseOutcome::NotRun)
            result.seconds = double(caseClock_.nsecsElapsed()) / 1e9;
        results_.push_back(result);
        emit caseFinished(result);
    }
}

void ScriptDriver::perform(RunOutput output)
{
    for (RunEvent& event : output.events)
        tell(event);
    // The cases the run never reached have results too.
    for (std::size_t i = results_.size(); run_->finished() && i < run_->results().size(); ++i)
        results_.push_back(run_->results()[i]);

    switch (output.next.kind) {
    case RunCommand::Kind::Send:
        emit stepStarted(*run_->stepUnderWay(), run_->currentStep(), run_->stepCount());
        if (output.next.windowMs)
            line_->setReplyWindow(*output.next.windowMs);
        written_.clear();
        if (!line_->sendHeld(output.next.frameText)) {
            const QString why = line_->portOpen() ? QStringLiteral("линия не приняла кадр")
                                                  : QStringLiteral("порт закрыт");
            abort(why);
        }
        return;
    case RunCommand::Kind::Wait:
        emit stepStarted(*run_->stepUnderWay(), run_->currentStep(), run_->stepCount());
        pause_.start(output.next.waitMs);
        return;
    case RunCommand::Kind::Finished:
        if (!run_->finished())
            return; // nothing to do before the next event
        if (line_)
            line_->release();
        emit finished();
        return;
    }
}

void ScriptDriver::frameSent(const QString& line, bool active)
{
    Q_UNUSED(line);
    Q_UNUSED(active);
}

void ScriptDriver::replyWindowEnded(std::span<const std::uint8_t> reply)
{
    if (running())
        perform(run_->windowEnded(reply));
}

void ScriptDriver::lineNotice(const QString& line)
{
    Q_UNUSED(line);
}

} // namespace testscript
