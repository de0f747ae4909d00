#pragma once
// A run on the line: the machine of scriptrun.h driven by the real reply windows. The
// driver holds the line for the whole run (Transport::hold), so no family sends between
// its frames and the bytes of its windows come to it alone; it keeps the time of each
// case and tells what happens through its signals, which the window and the command
// line turn into their own words.

#include "lineclient.h"
#include "scriptrun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
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
    bool start(Script script, std::optional<QString> startAddress, QString* why);
    // Ends the run at once: the case under way is stopped, those after it not run.
    void stop();
    // Ends the run at once because the line gave out: the case under way is broken.
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
    void finished();

private:
    // The LineClient side: only the windows the driver opened reach it.
    void frameSent(const QString& line, bool active) override;
    void replyWindowEnded(std::span<const std::uint8_t> reply) override;
    void lineNotice(const QString& line) override;

    void begin();
    void perform(RunOutput output);
    void tell(RunEvent& event);

    QPointer<transport::Transport> line_;
    std::unique_ptr<ScriptRun> run_;
    std::vector<CaseResult> results_;
    QTimer pause_;
    QElapsedTimer caseClock_;
    // The frames written for the send under way.
    QList<QByteArray> written_;
    bool awaitingIdleLine_ = false;
};

} // namespace testscript
