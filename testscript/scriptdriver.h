#pragma once
// A run on the line: the machine of scriptrun.h driven by the real reply windows. The
// driver holds the line for the whole run (Transport::hold), so no family sends between
// its frames and the bytes of its windows come to it alone; it keeps the time of each
// case and tells what happens through its signals, which the window and the command
// line turn into their own words.
//
// Each send starts from an empty input: what waited before it (a reply that came after
// its own window, a device talking by itself) is no reply to it, and is told as stray
// bytes with the time the first of them came. The bytes of a window are taken as they
// arrive, each with its time, so the reply's time is known and an early window can end
// as soon as its reply is complete.

#include "lineclient.h"
#include "runtexts.h"
#include "scriptrun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <memory>

namespace transport {
class Transport;
}

namespace testscript {

class ScriptDriver : public QObject, private transport::LineClient {
    Q_OBJECT
public:
    explicit ScriptDriver(transport::Transport& line, QObject* parent = nullptr);
    ~ScriptDriver() override;

    // Starts a run on the open port; the first frame goes out as soon as the line is
    // idle. False, with why, when it cannot start: a run is under way or the port is
    // closed.
    bool start(Script script, std::optional<QString> startAddress, RunOptions options, QString* why);
    bool start(Script script, std::optional<QString> startAddress, QString* why)
    {
        return start(std::move(script), std::move(startAddress), RunOptions{}, why);
    }
    // Ends the run at once: the case under way is stopped, those after it not run.
    void stop();
    // Ends the run at once because the line gave out or the run was interrupted: the
    // case under way is broken, with why.
    void abort(const QString& why);
    bool running() const { return run_ && !run_->finished(); }

    // The run under way or the last one.
    const ScriptRun* run() const { return run_.get(); }
    // One result per case once the run ended, with the seconds each took.
    const std::vector<CaseResult>& results() const { return results_; }

signals:
    void caseStarted(const testscript::ScriptCase& scriptCase);
    void stepDone(const testscript::StepDone& done, qint64 total);
    void caseFinished(const testscript::CaseResult& result);
    // A send or a pause begins: the step under way until its window or pause ends.
    void stepStarted(const testscript::ScriptStep& step, qint64 number, qint64 total);
    // Bytes no window asked for, found before a send (or after the last one).
    void strayBytes(const testscript::StrayBytes& stray);
    void finished();

private:
    using Clock = std::chrono::steady_clock;

    // The LineClient side: only the windows the driver opened reach it.
    void frameSent(const QString& line, bool active) override;
    void replyWindowEnded(std::span<const std::uint8_t> reply) override;
    void lineNotice(const QString& line) override;
    void bytesArrived(int count, Clock::time_point at) override;

    void begin();
    void perform(RunOutput output);
    void tell(RunEvent& event);
    void send(const RunCommand& command);

    // Bytes of the window under way, which came at `at`; what the reply buffer cannot
    // hold is stray.
    void addReply(const QByteArray& bytes, Clock::time_point at);
    void addStray(const QByteArray& bytes, Clock::time_point at);
    // When the reply's byte at `index` came.
    Clock::time_point arrivalOf(qsizetype index) const;
    // The early window: the line has been quiet since the last byte; a reply that fits
    // ends the window.
    void armQuiet();
    void quietEnded();
    // Takes what waits and tells it, with what was set aside before, as stray bytes.
    void reportStrays(bool afterLastFrame);
    void endWindowState();

    QPointer<transport::Transport> line_;
    std::unique_ptr<ScriptRun> run_;
    std::vector<CaseResult> results_;
    QTimer pause_;
    // The run goes on after a turn of steps without the line, once the window has had
    // its own turn; a stop cancels it.
    QTimer nextTurn_;
    QElapsedTimer caseClock_;
    // The frames written for the send under way, and when the last of them went out.
    QList<QByteArray> written_;
    Clock::time_point sentAt_{};
    bool awaitingIdleLine_ = false;

    // The window of the send under way: its bytes, and where each arrival ended in them.
    struct Arrival {
        qsizetype end = 0;
        Clock::time_point at{};
    };
    bool windowOwn_ = false;
    QByteArray reply_;
    std::vector<Arrival> arrivals_;
    std::optional<ReplyPattern> earlyPattern_;
    std::optional<qsizetype> earlyCut_;
    Clock::time_point lastArrival_{};
    std::chrono::nanoseconds quietTime_{};
    QTimer quiet_;

    // Stray bytes set aside until the next send: the first of them, how many, and when
    // the first came (none: before the run began).
    QByteArray stray_;
    qint64 strayCount_ = 0;
    std::optional<Clock::time_point> strayAt_;
    bool sentOnce_ = false;
};

} // namespace testscript
