#include "scriptdriver.h"

#include "lineformat.h"
#include "transport.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace testscript {

namespace {

// What one look before a send takes of a device that keeps talking; the rest waits for
// the next window, as it would have without the look.
constexpr int kMostStrayPerSend = 64 * 1024;
// Stray bytes shown in their line; the count says how many more there were.
constexpr qsizetype kShownStrayBytes = 64;
// The quiet that ends an early window: three and a half characters, as a line's frames
// are told apart.
constexpr double kQuietCharacters = 3.5;

std::span<const std::uint8_t> bytesOf(const QByteArray& bytes, qsizetype size)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(size)};
}

// The longest start of the reply that the pattern fits whole; none when none does.
std::optional<qsizetype> longestFit(const ReplyPattern& pattern, const QByteArray& reply)
{
    const std::vector<std::size_t> fits = fittingPrefixes(pattern, bytesOf(reply, reply.size()));
    if (fits.empty())
        return std::nullopt;
    return qsizetype(fits.back());
}

QDateTime wallTimeOf(std::chrono::steady_clock::time_point at)
{
    const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - at);
    return QDateTime::currentDateTime().addMSecs(-ago.count());
}

} // namespace

ScriptDriver::ScriptDriver(transport::Transport& line, QObject* parent)
    : QObject(parent)
    , line_(&line)
{
    setObjectName(QStringLiteral("ScriptDriver"));
    pause_.setSingleShot(true);
    pause_.setTimerType(Qt::PreciseTimer);
    connect(&pause_, &QTimer::timeout, this, [this] { perform(run_->waitEnded()); });
    nextTurn_.setSingleShot(true);
    nextTurn_.setInterval(0);
    connect(&nextTurn_, &QTimer::timeout, this, [this] { perform(run_->resume()); });
    quiet_.setSingleShot(true);
    quiet_.setTimerType(Qt::PreciseTimer);
    connect(&quiet_, &QTimer::timeout, this, &ScriptDriver::quietEnded);
    connect(&line, &transport::Transport::frameWritten, this, [this](const QByteArray& frame) {
        if (!running())
            return;
        written_ << frame;
        sentAt_ = line_->lastWriteTime();
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

bool ScriptDriver::start(Script script, std::optional<QString> startAddress, RunOptions options, QString* why)
{
    if (running()) {
        *why = QStringLiteral("сценарий уже выполняется");
        return false;
    }
    if (!line_ || !line_->portOpen()) {
        *why = QStringLiteral("порт закрыт");
        return false;
    }
    run_ = std::make_unique<ScriptRun>(std::move(script), std::move(startAddress), options);
    results_.clear();
    stray_.clear();
    strayCount_ = 0;
    strayAt_.reset();
    sentOnce_ = false;
    endWindowState();
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
    nextTurn_.stop();
    endWindowState();
    perform(run_->stop(CaseOutcome::Stopped));
}

void ScriptDriver::abort(const QString& why)
{
    if (!running())
        return;
    pause_.stop();
    nextTurn_.stop();
    endWindowState();
    perform(run_->stop(CaseOutcome::Broken, why));
}

void ScriptDriver::endWindowState()
{
    quiet_.stop();
    windowOwn_ = false;
    reply_.clear();
    arrivals_.clear();
    earlyPattern_.reset();
    earlyCut_.reset();
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
        send(output.next);
        return;
    case RunCommand::Kind::Wait:
        emit stepStarted(*run_->stepUnderWay(), run_->currentStep(), run_->stepCount());
        pause_.start(output.next.waitMs);
        return;
    case RunCommand::Kind::Continue:
        nextTurn_.start();
        return;
    case RunCommand::Kind::Finished:
        if (!run_->finished())
            return; // nothing to do before the next event
        reportStrays(true);
        if (line_)
            line_->release();
        emit finished();
        return;
    }
}

void ScriptDriver::send(const RunCommand& command)
{
    // What waited is told before the step, in the case it precedes.
    reportStrays(false);
    emit stepStarted(*run_->stepUnderWay(), run_->currentStep(), run_->stepCount());
    if (command.windowMs)
        line_->setReplyWindow(*command.windowMs);
    written_.clear();
    endWindowState();
    earlyPattern_ = command.earlyPattern;
    const double characterUs = linecapture::lineFormatOf(line_->lineSettings()).characterUs();
    quietTime_ = std::chrono::nanoseconds(std::llround(kQuietCharacters * characterUs * 1000));
    windowOwn_ = true;
    sentOnce_ = true;
    if (!line_->sendHeld(command.frameText)) {
        windowOwn_ = false;
        abort(line_->portOpen() ? QStringLiteral("линия не приняла кадр") : QStringLiteral("порт закрыт"));
    }
}

void ScriptDriver::bytesArrived(int count, Clock::time_point at)
{
    if (!running() || !line_)
        return;
    if (!windowOwn_) {
        // Left waiting until the next send looks; only when the first came is kept.
        if (!strayAt_)
            strayAt_ = at;
        return;
    }
    const QByteArray bytes = line_->takeWaiting(transport::kReplyBufferSize);
    if (bytes.isEmpty())
        return;
    // Bytes beyond those the event counted came after it: they are known to have come
    // only by now.
    const Clock::time_point came = bytes.size() > count ? Clock::now() : at;
    addReply(bytes, came);
    if (earlyPattern_) {
        lastArrival_ = came;
        armQuiet();
    }
}

void ScriptDriver::addReply(const QByteArray& bytes, Clock::time_point at)
{
    const qsizetype room = std::max<qsizetype>(0, transport::kReplyBufferSize - reply_.size());
    const qsizetype taken = std::min(room, bytes.size());
    if (taken > 0) {
        reply_.append(bytes.constData(), taken);
        arrivals_.push_back({reply_.size(), at});
    }
    if (taken < bytes.size())
        addStray(bytes.mid(taken), at);
}

void ScriptDriver::addStray(const QByteArray& bytes, Clock::time_point at)
{
    if (bytes.isEmpty())
        return;
    if (strayCount_ == 0 && !strayAt_)
        strayAt_ = at;
    stray_.append(bytes.left(std::max<qsizetype>(0, kShownStrayBytes - stray_.size())));
    strayCount_ += bytes.size();
}

ScriptDriver::Clock::time_point ScriptDriver::arrivalOf(qsizetype index) const
{
    for (const Arrival& arrival : arrivals_)
        if (index < arrival.end)
            return arrival.at;
    return arrivals_.empty() ? Clock::now() : arrivals_.back().at;
}

void ScriptDriver::armQuiet()
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(lastArrival_ + quietTime_ - Clock::now());
    quiet_.start(int(std::max<std::chrono::milliseconds::rep>(0, left.count())));
}

void ScriptDriver::quietEnded()
{
    if (!windowOwn_ || !earlyPattern_ || !line_)
        return;
    // A timer may wake a little early; the quiet is the line's, not the timer's.
    if (Clock::now() < lastArrival_ + quietTime_) {
        armQuiet();
        return;
    }
    // Bytes that waited unseen while the timer ran are read first: they may complete
    // the reply, or show it was not over.
    const QByteArray late = line_->takeWaiting(transport::kReplyBufferSize);
    if (!late.isEmpty()) {
        addReply(late, Clock::now());
        lastArrival_ = Clock::now();
        armQuiet();
        return;
    }
    if (const std::optional<qsizetype> fit = longestFit(*earlyPattern_, reply_)) {
        earlyCut_ = *fit;
        line_->endHeldWindow();
    }
}

void ScriptDriver::replyWindowEnded(std::span<const std::uint8_t> rest)
{
    if (!running() || !windowOwn_)
        return;
    quiet_.stop();
    windowOwn_ = false;
    if (!rest.empty())
        addReply(QByteArray(reinterpret_cast<const char*>(rest.data()), qsizetype(rest.size())), Clock::now());
    QByteArray reply = std::exchange(reply_, {});
    // Bytes after the reply an early window found complete belong to no window of ours.
    if (earlyCut_ && *earlyCut_ < reply.size()) {
        const Clock::time_point cameAt = arrivalOf(*earlyCut_);
        const QByteArray after = reply.mid(*earlyCut_);
        reply.truncate(*earlyCut_);
        // They came before anything set aside during the window (bytes past the buffer).
        const QByteArray aside = std::exchange(stray_, {});
        const qint64 asideCount = std::exchange(strayCount_, 0);
        strayAt_.reset();
        addStray(after, cameAt);
        stray_.append(aside.left(std::max<qsizetype>(0, kShownStrayBytes - stray_.size())));
        strayCount_ += asideCount;
    }
    std::optional<std::chrono::microseconds> replyTime;
    if (!reply.isEmpty())
        replyTime = std::max(std::chrono::microseconds(0),
                             std::chrono::duration_cast<std::chrono::microseconds>(arrivalOf(reply.size() - 1) - sentAt_));
    arrivals_.clear();
    earlyCut_.reset();
    earlyPattern_.reset();
    perform(run_->windowEnded(bytesOf(reply, reply.size()), replyTime));
}

void ScriptDriver::reportStrays(bool afterLastFrame)
{
    if (line_) {
        for (int taken = 0; taken < kMostStrayPerSend;) {
            const QByteArray waiting = line_->takeWaiting(transport::kReplyBufferSize);
            if (waiting.isEmpty())
                break;
            // Their time is the first event's, when one was seen; bytes that waited from
            // before the run have none.
            const std::optional<Clock::time_point> at = strayAt_;
            addStray(waiting, Clock::now());
            strayAt_ = at;
            taken += int(waiting.size());
        }
    }
    if (strayCount_ > 0) {
        StrayBytes stray;
        stray.shown = stray_;
        stray.count = strayCount_;
        stray.firstAt = wallTimeOf(strayAt_.value_or(Clock::now()));
        stray.beforeRun = !strayAt_ && !sentOnce_;
        stray.afterLastFrame = afterLastFrame;
        emit strayBytes(stray);
    }
    stray_.clear();
    strayCount_ = 0;
    strayAt_.reset();
}

void ScriptDriver::frameSent(const QString& line, bool active)
{
    Q_UNUSED(line);
    Q_UNUSED(active);
}

void ScriptDriver::lineNotice(const QString& line)
{
    Q_UNUSED(line);
}

} // namespace testscript
