#pragma once
// The port's life in one place: the name chosen, opening and closing, the port list as
// the system has it, the watcher of ports that come and go, and the wait for a device
// that vanished with its reopening. The window shows the session's state and passes the
// operator's choices on; the transport takes the bytes and the events of the line from
// it. Nothing here knows a widget.
//
// States: Closed; Open; Waiting (closed, but the device that vanished will be reopened
// when it is back); Connecting (a line behind a serial device server, "rfc2217://" or
// "tcp://", is being connected on a thread of its own, so the window goes on). The
// session owns the serial component, whose line settings stay with it across closes
// and reopens.

#include "customcomm.h"
#include "portdirectory.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace ports {
class PortWatcher;
struct ReturnedDevice;
}

namespace portsession {

class NetworkOpen;
class Reconnection;
struct ReopenResult;

// What an open came to. A network line is connected beside the window, so its open
// returns before its end: Connecting, and then `started` or `failed` tells how it ended.
struct OpenResult {
    enum class Outcome { Opened, Connecting, Failed };
    Outcome outcome = Outcome::Failed;
    // Failed: why, as `failed` said it.
    QString failure;
};

class PortSession : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Open, Waiting, Connecting };
    Q_ENUM(State)

    // This machine's ports, or those of a tree of roots (tests).
    explicit PortSession(QObject* parent = nullptr);
    explicit PortSession(ports::PortRoots roots, QObject* parent = nullptr);
    // Closes the port: the event thread hands its events to this object.
    ~PortSession() override;

    State state() const { return state_; }
    // The port's name: the one open, or the one the next open takes.
    QString name() const;
    // The device the last open tried for the name.
    QString devicePath() const;

    // The serial component: line settings, reads and writes.
    commport::TComm& comm() { return comm_; }
    const commport::TComm& comm() const { return comm_; }
    const ports::PortDirectory& directory() const { return directory_; }

    // The names the port list offers, read from the system now: the system's ports, or
    // the built-in names when it lists fewer than two, then the network lines opened in
    // this run (the last few, newest first; nothing is kept between runs). Also
    // announced by portNamesChanged.
    QStringList readPortNames();
    // What a name stands for on this machine, for the port list's tool tip.
    QString describe(const QString& name) const;

    // "Открыть": the port opens on `name`, whatever was taken before; a wait ends. A
    // name the system does not know (after reading its list once more) opens nothing.
    // Failed: `failed` has said why, and the result says it too. A network name is
    // connected to first: Connecting, with the state Connecting until the open ends in
    // `started` or `failed` (within the connect's own time limits), or is given up by
    // close() or another open, which say nothing more.
    [[nodiscard]] OpenResult open(const QString& name);
    // open(), and for a network line the event loop run until its connect has ended:
    // Opened or Failed. For callers with no window to keep going (the run from the
    // command line, benchmarks).
    [[nodiscard]] OpenResult openAndWait(const QString& name);
    // A name chosen from the list or confirmed with Enter. The same name changes
    // nothing; another closes the port and, when it was open, opens the new one and
    // empties its input. While closed only the name is taken.
    void choose(const QString& name);
    // "Закрыть", and before the line settings change: the port closes, a wait ends.
    void close();
    // The operator typed a name in the port list: a wait for another name's device ends.
    void nameTyped(const QString& name);

    // "Переподключать автоматически". Turning it off ends a wait.
    bool automaticReconnect() const;
    void setAutomaticReconnect(bool on);

    // Whether a reply window runs: a returning device is not reopened under it.
    void setLineBusy(std::function<bool()> busy) { lineBusy_ = std::move(busy); }

signals:
    // After every close, change of port and successful open, also when the state stays
    // the same; not after an open that failed, which leaves the attempt shown.
    void stateChanged(portsession::PortSession::State state);
    // An open is tried; a state change, or none for a failure, follows.
    void openAttempted();
    // The session took another name itself: a device came back under another one.
    void nameChanged(const QString& name);
    // The port was opened by the operator or reopened after its device came back: what
    // needs the line may start. A change of port while open is not one.
    void started();
    // The port closes for good (not for a change of port): what uses the line stops.
    // Emitted while the port is still open.
    void stopping();
    // An open the operator asked for failed: the text for the error box.
    void failed(const QString& message);
    // A line about the port for the log of the selected mode.
    void notice(const QString& line);
    // The system's port list as read now; it may equal the last one.
    void portNamesChanged(const QStringList& names);
    // The line's events, on the GUI thread: bytes wait in the input queue; output the
    // line did not take was dropped.
    void bytesWaiting(int count);
    void outputDropped(int bytes);

private:
    enum class OpenPurpose { Operator, Change, Reopen };

    void setUpComm();
    // Runs the oldest call the serial event thread handed over.
    Q_INVOKABLE void runPostedCall();
    void setUpWatching();
    // Whether `name` leads anywhere: a device path, a listed name, or one the system
    // lists when asked again.
    bool knows(const QString& name);
    // Opens the component on its name; `failed` tells of a failure.
    bool openShowingFailure();
    // Says why an open failed, and keeps it for the open's result.
    void fail(const QString& message);
    // A network line: the connect runs away from the GUI thread, connectEnded opens.
    void startConnecting(OpenPurpose purpose);
    void connectEnded();
    void dropConnecting();
    // The system's names and the network lines of this run.
    QStringList offered() const;
    void rememberNetworkName(const QString& name);
    void closeComm();
    void deviceLost();
    // The line's input is full and nobody reads it: said once an open.
    void noteInputHeld(int count);
    ReopenResult reopenReturnedDevice(const ports::ReturnedDevice& device);
    void updateState();

    ports::PortDirectory directory_;
    // Declared before the component, whose event thread posts here until it is closed.
    std::mutex postedMutex_;
    std::deque<std::function<void()>> postedCalls_;
    commport::TComm comm_;
    std::unique_ptr<Reconnection> reconnection_;
    ports::PortWatcher* watcher_ = nullptr;
    std::function<bool()> lineBusy_;
    QStringList listed_;
    QStringList recentNetworkNames_;
    NetworkOpen* connecting_ = nullptr;
    OpenPurpose connectPurpose_ = OpenPurpose::Operator;
    State state_ = State::Closed;
    QString lastFailure_;
    bool inputHeldSaid_ = false;
};

} // namespace portsession
