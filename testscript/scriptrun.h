#pragma once
// One run of a script as a machine: started, then fed the end of each reply window and
// of each pause, it returns what happened and what to do next (send a frame, pause, or
// nothing more). It knows no line, no clock and no window, so the window, the command
// line and the tests drive the same run.
//
// A failed expect fails its case: the rest of that case is skipped (settings included)
// and the run goes on with the next case, with the address and window in force.

#include "script.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace testscript {

enum class CaseOutcome : std::uint8_t {
    Passed,
    Failed,
    Broken,  // the line gave out under it
    Stopped, // the operator ended the run in it
    NotRun,  // the run ended before it
};

struct CaseResult {
    QString name;
    int line = 0;
    CaseOutcome outcome = CaseOutcome::NotRun;
    // Failed: what was expected and what came, and the expect's line. Broken: why.
    QString failure;
    int failedLine = 0;
    // Filled by whoever keeps the time.
    double seconds = 0;
};

struct CaseStarted {
    int index = 0;
    const ScriptCase* scriptCase = nullptr;
};

struct StepDone {
    std::int64_t number = 0; // from 1, of the run's steps
    const ScriptStep* step = nullptr;
    // Send: the frame text with the address put in, and the window's bytes. The frames
    // as written to the line are filled by whoever watched the line.
    QString frameText;
    QByteArray reply;
    QList<QByteArray> written;
    // Expect: whether the reply fitted, and if not, what was expected and what came.
    bool matched = true;
    QString mismatch;
};

struct CaseFinished {
    CaseResult result;
};

using RunEvent = std::variant<CaseStarted, StepDone, CaseFinished>;

struct RunCommand {
    enum class Kind : std::uint8_t { Send, Wait, Finished };
    Kind kind = Kind::Finished;
    QString frameText;            // Send
    std::optional<int> windowMs;  // Send: the script's window; none for the line's own
    int waitMs = 0;               // Wait
};

struct RunOutput {
    std::vector<RunEvent> events;
    RunCommand next;
};

class ScriptRun {
public:
    // `startAddress`: what "{addr}" stands for until an address step; none when no
    // address is known (a send that needs one fails its case).
    ScriptRun(Script script, std::optional<QString> startAddress);
    // The events point into the run's script.
    ScriptRun(const ScriptRun&) = delete;
    ScriptRun& operator=(const ScriptRun&) = delete;

    const Script& script() const { return script_; }

    RunOutput start();
    // The window of the last send ended with these bytes (none: "TimeOut").
    RunOutput windowEnded(std::span<const std::uint8_t> reply);
    // The pause asked for ended.
    RunOutput waitEnded();
    // Ends the run at once: the case under way is Stopped or Broken (with `why`), the
    // cases after it are not run.
    RunOutput stop(CaseOutcome outcome, const QString& why = {});

    bool finished() const { return phase_ == Phase::Finished; }
    // Steps done, and the step under way (a send or a pause), counted from 1.
    std::int64_t stepsDone() const { return done_; }
    std::int64_t currentStep() const { return std::min(done_ + 1, script_.stepCount); }
    std::int64_t stepCount() const { return script_.stepCount; }
    // The send or pause under way; none between steps and after the run.
    const ScriptStep* stepUnderWay() const;
    // One result per case, in order, once the case has ended.
    const std::vector<CaseResult>& results() const { return results_; }

private:
    enum class Phase : std::uint8_t { Ready, AwaitingWindow, AwaitingWait, Finished };

    // Runs steps until one needs the line or a pause, or the run ends.
    void advance(RunOutput& out);
    void failCase(const QString& why, int line);
    void finishCase(RunOutput& out, CaseOutcome outcome);
    const ScriptStep& step() const;

    const Script script_;
    std::optional<QString> address_;
    std::optional<int> windowMs_;
    Phase phase_ = Phase::Ready;
    int case_ = -1;
    std::size_t pc_ = 0;
    std::vector<int> loops_; // iterations left of each open repeat, innermost last
    std::optional<QByteArray> lastReply_;
    std::int64_t done_ = 0;
    std::int64_t caseFirstStep_ = 0;
    bool caseFailed_ = false;
    QString failure_;
    int failedLine_ = 0;
    QString pendingFrame_;
    std::vector<CaseResult> results_;
};

// What a reply looks like in a message: its bytes, or that nothing came.
QString replyText(std::span<const std::uint8_t> reply);
QString replyText(const QByteArray& reply);

} // namespace testscript
