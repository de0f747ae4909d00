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
#include <chrono>
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
    // Send, and an Expect with "within": how long after the send's last byte went out
    // the reply's last byte came; none when nothing came or nobody measured.
    std::optional<std::chrono::microseconds> replyTime;
    // Expect: whether the reply fitted, and if not, what was expected and what came.
    bool matched = true;
    QString mismatch;
};

struct CaseFinished {
    CaseResult result;
};

using RunEvent = std::variant<CaseStarted, StepDone, CaseFinished>;

struct RunCommand {
    // Continue: the run took its share of steps that need no line (settings, repeats,
    // cases that fail at once); resume() it once the window has had its turn.
    enum class Kind : std::uint8_t { Send, Wait, Continue, Finished };
    Kind kind = Kind::Finished;
    QString frameText;            // Send
    std::optional<int> windowMs;  // Send: the script's window; none for the line's own
    // Send in an early window: the pattern of the expect right after the send, with the
    // address put in. The window may end once a reply fits it whole and the line has
    // gone quiet; bytes after the fit are no part of the reply.
    std::optional<ReplyPattern> earlyPattern;
    int waitMs = 0;               // Wait
};

// What the one who starts a run chooses beside the script.
struct RunOptions {
    // The window of the sends before the script's first "window"; none: the line's own.
    std::optional<int> windowMs;
    // Every window ends once its reply is complete, as with "window MS early".
    bool earlyWindows = false;
};

struct RunOutput {
    std::vector<RunEvent> events;
    RunCommand next;
};

class ScriptRun {
public:
    // `startAddress`: what "{addr}" stands for until an address step; none when no
    // address is known (a send that needs one fails its case).
    ScriptRun(Script script, std::optional<QString> startAddress, RunOptions options = {});
    // The events point into the run's script.
    ScriptRun(const ScriptRun&) = delete;
    ScriptRun& operator=(const ScriptRun&) = delete;

    const Script& script() const { return script_; }

    RunOutput start();
    // The window of the last send ended with these bytes (none: "TimeOut"), the last of
    // them `replyTime` after the send's last byte went out.
    RunOutput windowEnded(std::span<const std::uint8_t> reply,
                          std::optional<std::chrono::microseconds> replyTime = std::nullopt);
    // The pause asked for ended.
    RunOutput waitEnded();
    // Goes on after a Continue.
    RunOutput resume();
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
    enum class Phase : std::uint8_t { Ready, AwaitingWindow, AwaitingWait, Paused, Finished };

    // Runs steps until one needs the line or a pause, or the run ends, or it has taken
    // its share (kStepsPerTurn) of steps without the line.
    void advance(RunOutput& out);
    void failCase(const QString& why, int line);
    void finishCase(RunOutput& out, CaseOutcome outcome);
    const ScriptStep& step() const;
    // The pattern of an expect with the address of the moment put in; none when it uses
    // "{addr}" and no address is known.
    std::optional<ReplyPattern> patternOf(const ScriptStep& expect) const;

    const Script script_;
    const RunOptions options_;
    std::optional<QString> address_;
    std::optional<int> windowMs_;
    bool earlyWindow_ = false;
    Phase phase_ = Phase::Ready;
    int case_ = -1;
    std::size_t pc_ = 0;
    std::vector<int> loops_; // iterations left of each open repeat, innermost last
    std::optional<QByteArray> lastReply_;
    std::optional<std::chrono::microseconds> lastReplyTime_;
    std::int64_t done_ = 0;
    std::int64_t caseFirstStep_ = 0;
    bool caseFailed_ = false;
    QString failure_;
    int failedLine_ = 0;
    QString pendingFrame_;
    std::vector<CaseResult> results_;
};

// How many steps without the line (each pass through a repeat's end, and each case's
// start and end, counted as one) a run takes before it hands the window back: a loop
// of ten million settings would otherwise freeze the window and pile up its events.
inline constexpr int kStepsPerTurn = 1000;

// What a reply looks like in a message: its bytes, or that nothing came.
QString replyText(std::span<const std::uint8_t> reply);
QString replyText(const QByteArray& reply);
// A reply time in whole milliseconds, rounded up: what "within" is checked against, so
// that the time shown and the verdict never disagree.
qint64 replyMilliseconds(std::chrono::microseconds replyTime);

} // namespace testscript
