#pragma once
// Waiting for a lost device and opening it again when it is back. A pulled adapter
// closes the port; the console keeps the port's name and line settings, waits without
// looking (it is told by the port watcher when devices come and go) and reopens the
// same device, by its by-id link or by the name resolving again. The operator ends the
// wait with "Закрыть", another port or the line-settings window, or turns it off.
//
// A line behind a serial device server announces nothing when it is back: it is tried
// again after 0.5 s, then after twice the last pause each time, up to 10 s between
// tries, on a single-shot timer, so nothing runs between tries. A connection that ends
// within a few seconds of its opening (a server that accepts and closes at once, as one
// does while another client holds its port) is a failed try too: the pauses go on
// growing, and the log says so once for the whole series of tries, not once a try.

#include "deviceidentity.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace portsession {

struct ReopenResult {
    bool opened = false;
    int errorCode = 0;      // errno of a failed open, -1 for the component's own refusals
    QString message;        // the failure's text
    QString devicePath;     // what was opened or tried
};

// Why a network line was lost, as far as the component could tell.
struct LossCause {
    QString said;            // its words (the server closed the connection, and what it said)
    bool misbehaved = false; // the server broke the protocol and was dropped
};

// What the window does for the reconnection.
struct ReconnectionHooks {
    // Opens the returned device by its name, with the line settings the port keeps, and
    // shows the port open; no error box.
    std::function<ReopenResult(const ports::ReturnedDevice&)> reopen;
    // A reply window runs: the port is not reopened under it, so the awaited reply ends
    // as "TimeOut" and nothing read afterwards is taken for it.
    std::function<bool()> lineBusy;
    // A line for the log of the selected mode.
    std::function<void(const QString&)> notice;
    // The waiting status on the window: the port's name, or empty when not waiting.
    std::function<void(const QString&)> showWaiting;
    // Starts connecting to the network line of that name, away from the GUI thread;
    // its end comes back through networkAttemptEnded.
    std::function<void(const QString&)> connect;
};

class Reconnection : public QObject {
    Q_OBJECT
public:
    Reconnection(const ports::PortDirectory& directory, ReconnectionHooks hooks, QObject* parent = nullptr);

    // "Переподключать автоматически". Turning it off ends a wait.
    bool automatic() const { return automatic_; }
    void setAutomatic(bool on);

    bool waiting() const { return lost_.has_value(); }
    // The name the port had when its device vanished.
    QString waitedName() const { return lost_ ? lost_->name : QString(); }

    // The port was opened on `name` by the operator: what identifies its device is taken
    // now, while the device and its links are there.
    void portOpened(const QString& name, const QString& devicePath);
    // The port's device vanished; the port is already closed. Logs it and waits.
    void deviceLost(const QString& name, const QString& devicePath, const LossCause& cause = {});
    // The operator took the port over: no more waiting.
    void stop();
    // Ports came or went.
    void portsChanged();
    // A try at a network line has ended (opened, or why not).
    void networkAttemptEnded(const ReopenResult& result);

private:
    void attempt();
    void retryLater(int ms);
    // The wait ends; the series of tries at a network line stays for a connection that
    // may yet end at once.
    void endWait();
    void endSeries();
    // A network line opened: a connection that ends within kShortLivedMs failed.
    void networkOpened(const QString& name, bool reopened);
    void networkSettled();
    // The next pause of the series: 0.5 s, then doubled up to 10 s.
    int nextNetworkPause();
    void sayOnce(bool& said, const QString& line);
    // The server ended one more connection at once: from the second (or one said to be
    // back), that is its habit.
    void closedAtOnce(const QString& device, const QString& said, bool afterSaidReturn);

    const ports::PortDirectory& directory_;
    const ReconnectionHooks hooks_;
    bool automatic_ = true;
    std::optional<ports::DeviceIdentity> opened_;
    std::optional<ports::DeviceIdentity> lost_;
    QTimer retry_;
    int attemptsLeft_ = 0;
    bool failureLogged_ = false;
    bool network_ = false; // the wait is for a network line: tried on a timer
    // The series of tries at a network line, from its loss (or the operator's open) until
    // a connection outlives kShortLivedMs or the operator takes the port over.
    int networkPauseMs_ = 0;     // the last pause; 0: none yet
    QString recentlyOpened_;     // the line open now, until it has outlived kShortLivedMs
    QElapsedTimer openedSince_;
    QTimer settled_;
    bool lossSaid_ = false;       // "отключено ..., жду повторного подключения"
    int closedAtOnce_ = 0;        // connections (and connects) the server ended at once
    bool closesAtOnceSaid_ = false;
    bool misbehaviourSaid_ = false;
    bool returnUnsaid_ = false;   // reopened, said once it has outlived kShortLivedMs
    bool returnSaid_ = false;     // reopened, and said at once
};

} // namespace portsession
