// The port session on its own: pseudo-terminals published as virtual ports in a folder
// of the test's, the operator's opens and closes, a device that goes and comes back.

#include "portsession.h"
#include "ptypair.h"
#include "serialserver.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <cstdio>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using portsession::OpenResult;
using portsession::PortSession;
using qldixw::testing::PtyPair;

namespace {

const QMap<QString, PortSession::State> kStates{{"Closed", PortSession::State::Closed},
                                                {"Open", PortSession::State::Open},
                                                {"Waiting", PortSession::State::Waiting},
                                                {"Connecting", PortSession::State::Connecting}};
const QMap<QString, OpenResult::Outcome> kOutcomes{{"Opened", OpenResult::Outcome::Opened},
                                                   {"Connecting", OpenResult::Outcome::Connecting},
                                                   {"Failed", OpenResult::Outcome::Failed}};

// The system as the session sees it: a private folder of virtual ports and nothing else.
class Ports {
public:
    // Two ports stay all along, so the list is the system's (with fewer it would be the
    // built-in COM1 to COM10) and shows when a third comes or goes.
    Ports()
    {
        for (const char* folder : {"ports", "sys", "dev"})
            QDir(dir_.path()).mkpath(QString::fromLatin1(folder));
        plug(QStringLiteral("COM5"));
        plug(QStringLiteral("COM6"));
    }
    ports::PortRoots roots() const { return {dir_.filePath("sys"), dir_.filePath("dev"), folder()}; }
    QString folder() const { return dir_.filePath(QStringLiteral("ports")); }

    // A device appears under `name`: a new terminal, published as the simulator does.
    void plug(const QString& name)
    {
        devices_[name] = std::make_unique<PtyPair>();
        link(name, QString::fromStdString(devices_[name]->portPath()));
    }
    void link(const QString& name, const QString& target)
    {
        const QString temporary = QDir(folder()).filePath(name + QStringLiteral(".new"));
        QFile::link(target, temporary);
        ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(QDir(folder()).filePath(name)).constData());
    }
    // The device goes: its terminal hangs up and its link is removed.
    void unplug(const QString& name)
    {
        devices_.erase(name);
        QFile::remove(QDir(folder()).filePath(name));
    }
    PtyPair* device(const QString& name) { return devices_.count(name) ? devices_[name].get() : nullptr; }

private:
    QTemporaryDir dir_;
    std::map<QString, std::unique_ptr<PtyPair>> devices_;
};

// A port of 127.0.0.1 that listens and never accepts: the kernel completes a connect to
// it all the same, which is all a bare TCP line asks.
class Listener {
public:
    Listener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 4) == 0
            && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    std::uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace

class TestPortSession : public QObject {
    Q_OBJECT
private slots:
    void steps_data();
    void steps();
};

void TestPortSession::steps_data()
{
    QTest::addColumn<QStringList>("script");
    const auto row = [](const char* name, const QStringList& script) { QTest::newRow(name) << script; };
    // "plug COM9" / "unplug COM9" / "link COM9 <path>": the system; "open COM9", "choose
    // COM8", "close", "typed COM8", "auto off": the operator; "state Open": waits for
    // the state; "said <events>": the session's started/stopping/failed since the last
    // check; "opened Failed": what the last open returned (a failure's text is the one
    // `failed` said); "name COM9"; "send COM9": a byte from the device reaches bytesWaiting;
    // "listed COM9" / "unlisted COM9": waits until the list the session read says so
    // (the session has then also heard that the ports changed).
    row("closed, open, waiting, open again",
        {"plug COM9", "open COM9", "state Open", "said started", "send COM9", "unplug COM9", "state Waiting",
         "said stopping", "plug COM9", "state Open", "said started", "send COM9", "close", "state Closed",
         "said stopping"});
    row("a close while waiting ends the wait",
        {"plug COM9", "open COM9", "state Open", "unplug COM9", "state Waiting", "close", "state Closed",
         "plug COM9", "listed COM9", "state Closed", "open COM8", "state Closed",
         "said started stopping stopping failed:Порт «COM8» не найден на этом компьютере."});
    row("an open port asked to open a name the system lacks: closed, and said so",
        {"plug COM9", "open COM9", "state Open", "open COM20", "state Closed",
         "said started stopping failed:Порт «COM20» не найден на этом компьютере."});
    row("a name the system lacks opens nothing",
        {"open COM20", "opened Failed", "state Closed", "said failed:Порт «COM20» не найден на этом компьютере.",
         "name COM20"});
    row("a port that opens says so", {"plug COM9", "open COM9", "opened Opened", "said started"});
    // FREE: a port of 127.0.0.1 nothing listens on; LISTENING: one that listens.
    row("a network line is connecting, then opens",
        {"open tcp://127.0.0.1:LISTENING", "opened Connecting", "state Open", "said started", "close", "state Closed",
         "said stopping"});
    row("a network line is connecting, then fails on its own",
        {"open tcp://127.0.0.1:FREE", "opened Connecting", "state Connecting", "said", "state Closed", "said failed"});
    row("a network name that is none fails at once",
        {"open rfc2217://127.0.0.1:70000", "opened Failed", "state Closed"});
    row("a device that is no terminal is refused",
        {"link COM9 /dev/null", "open COM9", "state Closed", "said failed"});
    row("another port while open: reopened on it, nothing stopped",
        {"plug COM9", "plug COM8", "open COM9", "state Open", "said started", "choose COM8", "state Open",
         "name COM8", "said", "send COM8"});
    row("another port while closed: only the name",
        {"plug COM9", "choose COM9", "state Closed", "name COM9", "said"});
    row("typing another name ends the wait",
        {"plug COM9", "open COM9", "unplug COM9", "state Waiting", "typed COM8", "state Closed", "plug COM9",
         "listed COM9", "state Closed"});
    row("no automatic reconnection: no wait",
        {"auto off", "plug COM9", "open COM9", "state Open", "unplug COM9", "unlisted COM9", "state Closed",
         "plug COM9", "listed COM9", "state Closed"});
}

void TestPortSession::steps()
{
    QFETCH(QStringList, script);
    Ports system;
    const Listener listener;
    QVERIFY(listener.port() != 0);
    PortSession session(system.roots());
    QStringList said;
    connect(&session, &PortSession::started, this, [&] { said << "started"; });
    connect(&session, &PortSession::stopping, this, [&] { said << "stopping"; });
    connect(&session, &PortSession::failed, this, [&](const QString& message) {
        said << (message.contains(u'\n') ? QStringLiteral("failed") : QStringLiteral("failed:") + message);
    });
    QStringList listed;
    connect(&session, &PortSession::portNamesChanged, this, [&](const QStringList& names) { listed = names; });
    int bytes = 0;
    connect(&session, &PortSession::bytesWaiting, this, [&](int count) { bytes = count; });

    const QString free = QString::number(qldixw::testing::freeLoopbackPort());
    OpenResult opened;
    QString lastFailure;
    connect(&session, &PortSession::failed, this, [&](const QString& message) { lastFailure = message; });
    for (QString step : script) {
        step.replace(QStringLiteral("FREE"), free);
        step.replace(QStringLiteral("LISTENING"), QString::number(listener.port()));
        const QString verb = step.section(u' ', 0, 0);
        const QString what = step.section(u' ', 1, 1);
        if (verb == u"plug") {
            system.plug(what);
        } else if (verb == u"unplug") {
            system.unplug(what);
        } else if (verb == u"link") {
            system.link(what, step.section(u' ', 2));
        } else if (verb == u"open") {
            lastFailure.clear();
            opened = session.open(what);
        } else if (verb == u"opened") {
            QCOMPARE(opened.outcome, kOutcomes.value(what));
            QCOMPARE(opened.failure, lastFailure);
        } else if (verb == u"choose") {
            session.choose(what);
        } else if (verb == u"close") {
            session.close();
        } else if (verb == u"typed") {
            session.nameTyped(what);
        } else if (verb == u"auto") {
            session.setAutomaticReconnect(what == u"on");
        } else if (verb == u"state") {
            QTRY_COMPARE_WITH_TIMEOUT(session.state(), kStates.value(what), 10000);
        } else if (verb == u"said") {
            QCOMPARE(said.join(u' '), step.section(u' ', 1));
            said.clear();
        } else if (verb == u"listed" || verb == u"unlisted") {
            QTRY_COMPARE_WITH_TIMEOUT(listed.contains(what), verb == u"listed", 10000);
        } else if (verb == u"name") {
            QCOMPARE(session.name(), what);
        } else if (verb == u"send") {
            bytes = 0;
            QVERIFY(system.device(what)->send("x"));
            QTRY_COMPARE_WITH_TIMEOUT(bytes, 1, 10000);
            char byte = 0;
            QCOMPARE(session.comm().Read(&byte, 1), 1);
        } else {
            QFAIL(qPrintable(QStringLiteral("not a step: ") + step));
        }
    }
}

QTEST_GUILESS_MAIN(TestPortSession)
#include "test_portsession.moc"
