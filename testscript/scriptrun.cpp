#include "scriptrun.h"

#include "frametext.h"

namespace testscript {

namespace {

using Kind = ScriptStep::Kind;

StepDone stepDone(std::int64_t number, const ScriptStep& step)
{
    StepDone done;
    done.number = number;
    done.step = &step;
    return done;
}

CaseResult caseResult(const ScriptCase& scriptCase, CaseOutcome outcome)
{
    CaseResult result;
    result.name = scriptCase.name;
    result.line = scriptCase.line;
    result.outcome = outcome;
    return result;
}

std::span<const std::uint8_t> bytesOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

} // namespace

QString replyText(std::span<const std::uint8_t> reply)
{
    return reply.empty() ? QStringLiteral("ничего (TimeOut)") : transport::byteText(reply).mid(1);
}

QString replyText(const QByteArray& reply)
{
    return replyText(bytesOf(reply));
}

qint64 replyMilliseconds(std::chrono::microseconds replyTime)
{
    return std::chrono::ceil<std::chrono::milliseconds>(replyTime).count();
}

ScriptRun::ScriptRun(Script script, std::optional<QString> startAddress, RunOptions options)
    : script_(std::move(script))
    , options_(options)
    , address_(std::move(startAddress))
    , windowMs_(options.windowMs)
    , earlyWindow_(options.earlyWindows)
{
}

std::optional<ReplyPattern> ScriptRun::patternOf(const ScriptStep& expect) const
{
    if (!usesAddress(expect.text))
        return expect.pattern;
    if (!address_)
        return std::nullopt;
    // Checked when the script was read: it parses with any address.
    return *parseReplyPattern(frameWithAddress(expect.text, *address_)).pattern;
}

const ScriptStep& ScriptRun::step() const
{
    return script_.cases[std::size_t(case_)].steps[pc_];
}

const ScriptStep* ScriptRun::stepUnderWay() const
{
    return phase_ == Phase::AwaitingWindow || phase_ == Phase::AwaitingWait ? &step() : nullptr;
}

RunOutput ScriptRun::start()
{
    RunOutput out;
    if (phase_ == Phase::Ready)
        advance(out);
    return out;
}

RunOutput ScriptRun::windowEnded(std::span<const std::uint8_t> reply, std::optional<std::chrono::microseconds> replyTime)
{
    RunOutput out;
    if (phase_ != Phase::AwaitingWindow)
        return out;
    lastReply_ = QByteArray(reinterpret_cast<const char*>(reply.data()), static_cast<qsizetype>(reply.size()));
    lastReplyTime_ = reply.empty() ? std::nullopt : replyTime;
    StepDone done = stepDone(++done_, step());
    done.frameText = pendingFrame_;
    done.reply = *lastReply_;
    done.replyTime = lastReplyTime_;
    out.events.push_back(std::move(done));
    ++pc_;
    advance(out);
    return out;
}

RunOutput ScriptRun::waitEnded()
{
    RunOutput out;
    if (phase_ != Phase::AwaitingWait)
        return out;
    out.events.push_back(stepDone(++done_, step()));
    ++pc_;
    advance(out);
    return out;
}

RunOutput ScriptRun::resume()
{
    RunOutput out;
    if (phase_ == Phase::Paused)
        advance(out);
    return out;
}

RunOutput ScriptRun::stop(CaseOutcome outcome, const QString& why)
{
    RunOutput out;
    if (phase_ == Phase::Finished)
        return out;
    if (case_ >= 0 && std::size_t(case_) < script_.cases.size()) {
        failure_ = why;
        failedLine_ = pc_ < script_.cases[std::size_t(case_)].steps.size() ? step().line : 0;
        finishCase(out, outcome);
    }
    for (std::size_t i = std::size_t(case_ + 1); i < script_.cases.size(); ++i)
        results_.push_back(caseResult(script_.cases[i], CaseOutcome::NotRun));
    case_ = static_cast<int>(script_.cases.size());
    phase_ = Phase::Finished;
    out.next = RunCommand{};
    return out;
}

void ScriptRun::failCase(const QString& why, int line)
{
    caseFailed_ = true;
    failure_ = why;
    failedLine_ = line;
    // The rest of the case is skipped: its steps count as passed over.
    done_ = caseFirstStep_ + script_.cases[std::size_t(case_)].stepCount;
    pc_ = script_.cases[std::size_t(case_)].steps.size();
}

void ScriptRun::finishCase(RunOutput& out, CaseOutcome outcome)
{
    const ScriptCase& scriptCase = script_.cases[std::size_t(case_)];
    CaseResult result = caseResult(scriptCase, outcome);
    if (outcome != CaseOutcome::Passed) {
        result.failure = failure_;
        result.failedLine = failedLine_;
    }
    results_.push_back(result);
    out.events.push_back(CaseFinished{std::move(result)});
}

void ScriptRun::advance(RunOutput& out)
{
    phase_ = Phase::Ready;
    for (int turn = 0;; ++turn) {
        if (turn == kStepsPerTurn) {
            phase_ = Phase::Paused;
            out.next.kind = RunCommand::Kind::Continue;
            return;
        }
        if (case_ < 0 || pc_ >= script_.cases[std::size_t(case_)].steps.size()) {
            if (case_ >= 0)
                finishCase(out, caseFailed_ ? CaseOutcome::Failed : CaseOutcome::Passed);
            if (std::size_t(++case_) >= script_.cases.size()) {
                phase_ = Phase::Finished;
                out.next = RunCommand{};
                return;
            }
            pc_ = 0;
            loops_.clear();
            lastReply_.reset();
            lastReplyTime_.reset();
            caseFailed_ = false;
            failure_.clear();
            failedLine_ = 0;
            caseFirstStep_ = done_;
            out.events.push_back(CaseStarted{case_, &script_.cases[std::size_t(case_)]});
            continue;
        }

        const ScriptStep& current = step();
        switch (current.kind) {
        case Kind::Repeat:
            loops_.push_back(current.value);
            ++pc_;
            continue;
        case Kind::End:
            if (--loops_.back() > 0) {
                pc_ = std::size_t(current.jump) + 1;
            } else {
                loops_.pop_back();
                ++pc_;
            }
            continue;
        case Kind::Send:
            if (usesAddress(current.text) && !address_) {
                failCase(QStringLiteral("адрес контроллера для {addr} не задан"), current.line);
                continue;
            }
            pendingFrame_ = address_ ? frameWithAddress(current.text, *address_) : current.text;
            phase_ = Phase::AwaitingWindow;
            out.next.kind = RunCommand::Kind::Send;
            out.next.frameText = pendingFrame_;
            out.next.windowMs = windowMs_;
            // Only the expect right after the send can say when its reply is complete;
            // "expect nothing" needs the whole window to be sure.
            if (earlyWindow_) {
                const std::vector<ScriptStep>& steps = script_.cases[std::size_t(case_)].steps;
                if (pc_ + 1 < steps.size() && steps[pc_ + 1].kind == Kind::Expect)
                    out.next.earlyPattern = patternOf(steps[pc_ + 1]);
            }
            return;
        case Kind::Wait:
            phase_ = Phase::AwaitingWait;
            out.next.kind = RunCommand::Kind::Wait;
            out.next.waitMs = current.value;
            return;
        case Kind::Expect:
        case Kind::ExpectNothing: {
            const QByteArray reply = lastReply_.value_or(QByteArray());
            StepDone done = stepDone(++done_, current);
            if (current.kind == Kind::ExpectNothing) {
                done.matched = reply.isEmpty();
                if (!done.matched)
                    done.mismatch = QStringLiteral("ожидалось: ничего (TimeOut), получено %1").arg(replyText(reply));
            } else {
                const std::optional<ReplyPattern> pattern = patternOf(current);
                if (!pattern) {
                    failCase(QStringLiteral("адрес контроллера для {addr} не задан"), current.line);
                    continue;
                }
                done.matched = patternMatches(*pattern, bytesOf(reply));
                if (!done.matched)
                    done.mismatch = QStringLiteral("ожидалось %1, получено %2").arg(patternText(*pattern), replyText(reply));
                if (current.withinMs > 0) {
                    done.replyTime = lastReplyTime_;
                    // A reply that never came was not late; the pattern judges silence.
                    const qint64 ms = lastReplyTime_ ? replyMilliseconds(*lastReplyTime_) : 0;
                    if (done.matched && ms > current.withinMs) {
                        done.matched = false;
                        done.mismatch = QStringLiteral("ответ через %1 мс — дольше within %2 мс").arg(ms).arg(current.withinMs);
                    }
                }
            }
            out.events.push_back(done);
            if (!done.matched) {
                failCase(done.mismatch, current.line);
                continue;
            }
            ++pc_;
            continue;
        }
        case Kind::Window:
            windowMs_ = current.value;
            earlyWindow_ = options_.earlyWindows || current.early;
            out.events.push_back(stepDone(++done_, current));
            ++pc_;
            continue;
        case Kind::Address:
            address_ = current.text;
            out.events.push_back(stepDone(++done_, current));
            ++pc_;
            continue;
        }
    }
}

} // namespace testscript
