// Opening, closing and the rules that guard the port while it is open.

#include "commtesting.h"
#include "linux/sessionterminal.h"

#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace commtesting;
using namespace commport;

extern char** environ;

namespace {

// Runs the opener helper on `path` as user nobody; its exit code, or -1 when it could
// not be run at all.
int openAsNobody(const std::string& path)
{
    const char* argv[] = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                          COMMPORT_TRY_OPEN, path.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "setpriv", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

enum class Refused { DeviceName, MonitorEvents, ReadBufSize, WriteBufSize };

enum class Failing { WriteToVanished, PurgeOfVanished, RefusedSettings, WriteWhenClosed, ReadWhenClosed, OpenOfMissing };

} // namespace

class TestCommLifecycle : public QObject {
    Q_OBJECT
private slots:
    void openFailures_data();
    void openFailures();
    void openCloseReopen();
    void settersRefusedWhileOpen_data();
    void settersRefusedWhileOpen();
    void equalValueTouchesNothing_data();
    void equalValueTouchesNothing();
    void secondOpenerIsLockedOut();
    void unprivilegedOpenerIsKeptOut();
    void controllingTerminalOfAProcess_data();
    void controllingTerminalOfAProcess();
    void lastErrorIsKept_data();
    void lastErrorIsKept();
};

void TestCommLifecycle::openFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("code");
    QTest::addColumn<CommErrorKind>("errorKind");
    QTest::newRow("missing") << "missing"
                             << "Error accessing specified device (Error: 2) " << ENOENT
                             << CommErrorKind::NotFound;
    QTest::newRow("directory") << "directory"
                               << "Error accessing specified device (Error: 21) " << EISDIR
                               << CommErrorKind::Other;
    QTest::newRow("regular file") << "file"
                                  << "Invalid device handle, access denied (Error: -1) " << -1
                                  << CommErrorKind::NotAPort;
    QTest::newRow("not a terminal") << "/dev/null"
                                    << "Invalid device handle, access denied (Error: -1) " << -1
                                    << CommErrorKind::NotAPort;
}

void TestCommLifecycle::openFailures()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QFETCH(int, code);
    QFETCH(CommErrorKind, errorKind);

    QTemporaryDir dir;
    QString path = kind;
    if (kind == "missing")
        path = dir.filePath("COM9");
    else if (kind == "directory")
        path = dir.path();
    else if (kind == "file") {
        path = dir.filePath("plain");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    CallQueue gui;
    TComm comm;
    comm.SetMainThreadPoster(gui.poster());
    comm.SetDeviceName(path.toStdString());
    try {
        comm.Open();
        QFAIL("Open succeeded");
    } catch (const ECommError& e) {
        QCOMPARE(QString::fromStdString(e.what()), message);
        QCOMPARE(e.ErrorCode, code);
        QCOMPARE(e.Kind, errorKind);
    }
    QVERIFY(!comm.IsOpen());
    QVERIFY(!comm.EventThread());
}

void TestCommLifecycle::openCloseReopen()
{
    PtyPair pair;
    CallQueue gui;
    HandlerLog log;
    TComm comm;
    wire(comm, pair, gui);
    // The name is what the user picked; the resolver knows the device behind it.
    comm.SetDeviceName("COM7");
    std::string asked;
    comm.SetDevicePathResolver([&](const std::string& name) {
        asked = name;
        return pair.portPath();
    });
    log.attach(comm);

    char byte = 0;
    comm.Close(); // closed: nothing to do
    comm.PurgeInput();
    QCOMPARE(comm.Write("x", 1), -1);
    QCOMPARE(comm.Read(&byte, 1), -1);

    for (int round = 0; round < 3; ++round) {
        // Open on an open port reopens it.
        comm.Open();
        comm.Open();
        QVERIFY(comm.IsOpen());
        QVERIFY(comm.EventThread());
        QCOMPARE(asked, std::string("COM7"));
        QCOMPARE(comm.DevicePath(), pair.portPath());

        QVERIFY(pair.send("abc"));
        QVERIFY(gui.runUntil([&] { return !log.rxCounts.isEmpty(); }));
        QCOMPARE(log.rxCounts.last(), 3);
        char got[8] = {};
        QCOMPARE(comm.Read(got, 3), 3);
        QCOMPARE(QByteArray(got, 3), QByteArray("abc"));
        QCOMPARE(comm.Read(got, 3), 0); // nothing queued: returns at once

        QVERIFY(pair.send("12345"));
        QVERIFY(gui.runUntil([&] { return qldixw::testing::queuedInput(comm.DeviceHandle()) == 5; }));
        comm.PurgeInput();
        QCOMPARE(qldixw::testing::queuedInput(comm.DeviceHandle()), 0);

        QCOMPARE(comm.Write("hello", 5), 5);
        QCOMPARE(QString::fromStdString(pair.receive(5)), QStringLiteral("hello"));

        comm.Close();
        QVERIFY(!comm.IsOpen());
        QCOMPARE(comm.DeviceHandle(), -1);
        QVERIFY(!comm.EventThread());
        gui.runPending();
        log.rxCounts.clear();
    }
    QVERIFY(!log.wrongThread);
}

void TestCommLifecycle::settersRefusedWhileOpen_data()
{
    QTest::addColumn<Refused>("setter");
    QTest::newRow("DeviceName") << Refused::DeviceName;
    QTest::newRow("MonitorEvents") << Refused::MonitorEvents;
    QTest::newRow("ReadBufSize") << Refused::ReadBufSize;
    QTest::newRow("WriteBufSize") << Refused::WriteBufSize;
}

void TestCommLifecycle::settersRefusedWhileOpen()
{
    QFETCH(Refused, setter);
    PtyPair pair;
    TComm comm;
    comm.SetDeviceName(pair.portPath());
    comm.SetMonitorEvents({TCommEventState::evRxChar});
    comm.SetReadBufSize(4096);
    comm.SetWriteBufSize(1024);
    comm.Open();

    try {
        switch (setter) {
        case Refused::DeviceName: comm.SetDeviceName("/dev/null"); break;
        case Refused::MonitorEvents: comm.SetMonitorEvents(AllCommEvents()); break;
        case Refused::ReadBufSize: comm.SetReadBufSize(100); break;
        case Refused::WriteBufSize: comm.SetWriteBufSize(100); break;
        }
        QFAIL("the setter was not refused");
    } catch (const ECommError& e) {
        QCOMPARE(QString::fromStdString(e.what()), QStringLiteral("Device already assigned (open) (Error: -1) "));
        QCOMPARE(e.ErrorCode, -1);
        QCOMPARE(e.Kind, CommErrorKind::AlreadyOpen);
    }
    QCOMPARE(comm.DeviceName(), pair.portPath());
    QVERIFY(comm.MonitorEvents() == TCommEventType{TCommEventState::evRxChar});
    QCOMPARE(comm.ReadBufSize(), 4096);
    QCOMPARE(comm.WriteBufSize(), 1024);
    QVERIFY(comm.IsOpen());

    // Closed, the same setter is taken.
    comm.Close();
    comm.SetDeviceName("/dev/null");
    comm.SetReadBufSize(100);
    QCOMPARE(comm.DeviceName(), std::string("/dev/null"));
    QCOMPARE(comm.ReadBufSize(), 100);
}

namespace {
enum class LineSetter { BaudRate, Parity, Stopbits, Databits, Options, FlowControl, XonChar, XoffChar };

// Sets the property to `changed` when true, else to the value it already has.
void setLine(TComm& comm, LineSetter which, bool changed)
{
    switch (which) {
    case LineSetter::BaudRate:
        comm.SetBaudRate(changed ? TBaudRate::cbr19200 : comm.BaudRate());
        break;
    case LineSetter::Parity: comm.SetParity(changed ? TParity::paOdd : comm.Parity()); break;
    case LineSetter::Stopbits: comm.SetStopbits(changed ? TStopbits::sb20 : comm.Stopbits()); break;
    case LineSetter::Databits: comm.SetDatabits(changed ? TDatabits::da7 : comm.Databits()); break;
    case LineSetter::Options:
        comm.SetOptions(changed ? TCommOptions{TCommOption::coParityCheck} : comm.Options());
        break;
    case LineSetter::FlowControl:
        comm.SetFlowControl(changed ? TFlowControl::fcNone : comm.FlowControl());
        break;
    case LineSetter::XonChar:
        comm.EventChars().SetXonChar(changed ? 0x01 : comm.EventChars().XonChar());
        break;
    case LineSetter::XoffChar:
        comm.EventChars().SetXoffChar(changed ? 0x02 : comm.EventChars().XoffChar());
        break;
    }
}

bool sameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc);
}
} // namespace

void TestCommLifecycle::equalValueTouchesNothing_data()
{
    QTest::addColumn<LineSetter>("setter");
    QTest::newRow("BaudRate") << LineSetter::BaudRate;
    QTest::newRow("Parity") << LineSetter::Parity;
    QTest::newRow("Stopbits") << LineSetter::Stopbits;
    QTest::newRow("Databits") << LineSetter::Databits;
    QTest::newRow("Options") << LineSetter::Options;
    QTest::newRow("FlowControl") << LineSetter::FlowControl;
    QTest::newRow("XonChar") << LineSetter::XonChar;
    QTest::newRow("XoffChar") << LineSetter::XoffChar;
}

void TestCommLifecycle::equalValueTouchesNothing()
{
    QFETCH(LineSetter, setter);
    PtyPair pair;
    TComm comm;
    comm.SetDeviceName(pair.portPath());
    comm.Open();

    // Someone else changes the line behind the component's back; only a real write of
    // the line settings would undo it.
    termios foreign = portSettings(pair);
    foreign.c_cc[VMIN] = 7;
    foreign.c_lflag |= ECHO;
    QCOMPARE(::tcsetattr(pair.deviceFd(), TCSANOW, &foreign), 0);
    const termios before = portSettings(pair);

    setLine(comm, setter, false);
    QVERIFY(sameSettings(portSettings(pair), before));

    // A pseudo-terminal refuses 7 data bits and parity, but only after it took the
    // rest of the record, which is all this needs.
    try {
        setLine(comm, setter, true);
    } catch (const ECommError& e) {
        QVERIFY(setter == LineSetter::Parity || setter == LineSetter::Databits);
        QCOMPARE(e.ErrorCode, EINVAL);
    }
    const termios after = portSettings(pair);
    QCOMPARE(int(after.c_cc[VMIN]), 1);
    QVERIFY(!(after.c_lflag & ECHO));
}

void TestCommLifecycle::secondOpenerIsLockedOut()
{
    PtyPair pair;
    TComm first, second;
    first.SetDeviceName(pair.portPath());
    second.SetDeviceName(pair.portPath());
    first.Open();
    try {
        second.Open();
        QFAIL("a second component opened a held port");
    } catch (const ECommError& e) {
        QCOMPARE(e.ErrorCode, EWOULDBLOCK);
        QCOMPARE(e.Kind, CommErrorKind::Busy);
        QCOMPARE(QString::fromStdString(e.what()),
                 QStringLiteral("Error accessing specified device (Error: %1) ").arg(EWOULDBLOCK));
    }
    QVERIFY(!second.IsOpen());
    QVERIFY(first.IsOpen());

    first.Close();
    second.Open();
    QVERIFY(second.IsOpen());
}

void TestCommLifecycle::unprivilegedOpenerIsKeptOut()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run the opener as another user");
    PtyPair pair;
    QCOMPARE(::chmod(pair.portPath().c_str(), 0666), 0);
    const int freeLine = openAsNobody(pair.portPath());
    if (freeLine != 0)
        QSKIP(qPrintable(QStringLiteral("the opener cannot run as nobody here (exit %1); "
                                        "exclusive use is then covered by the lock test only")
                             .arg(freeLine)));

    TComm comm;
    comm.SetDeviceName(pair.portPath());
    comm.Open();
    QCOMPARE(openAsNobody(pair.portPath()), EBUSY);
    comm.Close();
    QCOMPARE(openAsNobody(pair.portPath()), 0);
}

// Which terminal a process has, from its /proc/<pid>/stat line: a port that is one is
// refused as busy, so a misread field either opens a login's terminal or refuses a port.
void TestCommLifecycle::controllingTerminalOfAProcess_data()
{
    QTest::addColumn<QByteArray>("statLine");
    QTest::addColumn<qulonglong>("terminal");
    QTest::newRow("a shell on pts/0") << QByteArray("4242 (bash) S 4241 4242 4242 34816 4300 4194560 1 2 3") << 34816ull;
    // A program may call itself anything, parentheses and numbers included.
    QTest::newRow("a name that mimics fields") << QByteArray("77 (x) S 1 1 1 1025 (y) S 1 77 77 34817 77 0") << 34817ull;
    QTest::newRow("a name with blanks") << QByteArray("9 (my prog) R 1 9 9 1088 9 0") << 1088ull;
    QTest::newRow("a daemon without a terminal") << QByteArray("2 (kthreadd) S 0 0 0 0 -1 2129984") << 0ull;
    QTest::newRow("cut short") << QByteArray("5 (sh) S 1 5") << 0ull;
    QTest::newRow("no name") << QByteArray("garbage") << 0ull;
    QTest::newRow("empty") << QByteArray() << 0ull;
}

void TestCommLifecycle::controllingTerminalOfAProcess()
{
    QFETCH(QByteArray, statLine);
    QFETCH(qulonglong, terminal);
    QCOMPARE(qulonglong(backend::ControllingTerminalOf(statLine.toStdString())), terminal);
}

void TestCommLifecycle::lastErrorIsKept_data()
{
    QTest::addColumn<Failing>("failing");
    QTest::addColumn<CommErrorKind>("kind");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const QString eio = QString::fromLocal8Bit(std::strerror(EIO));
    QTest::newRow("write to a vanished device") << Failing::WriteToVanished << CommErrorKind::Gone << EIO << eio;
    QTest::newRow("purge of a vanished device") << Failing::PurgeOfVanished << CommErrorKind::Gone << EIO << eio;
    QTest::newRow("line settings refused") << Failing::RefusedSettings << CommErrorKind::SettingRefused << EINVAL
                                           << QString::fromLocal8Bit(std::strerror(EINVAL));
    QTest::newRow("write to a closed port") << Failing::WriteWhenClosed << CommErrorKind::NotOpen << -1
                                            << "the port is not open";
    QTest::newRow("read from a closed port") << Failing::ReadWhenClosed << CommErrorKind::NotOpen << -1
                                             << "the port is not open";
    QTest::newRow("open of a missing device") << Failing::OpenOfMissing << CommErrorKind::NotFound << ENOENT
                                              << QString::fromLocal8Bit(std::strerror(ENOENT));
}

// The caller can ask why a call failed after it returned, through Close, until a call
// that reaches the device succeeds.
void TestCommLifecycle::lastErrorIsKept()
{
    QFETCH(Failing, failing);
    QFETCH(CommErrorKind, kind);
    QFETCH(int, code);
    QFETCH(QString, text);

    auto pair = std::make_unique<PtyPair>();
    TComm comm; // no poster: a vanished device leaves the port open until it is closed
    comm.SetDeviceName(pair->portPath());
    comm.Open();
    char byte = 0;
    switch (failing) {
    case Failing::WriteToVanished:
        pair->unplug();
        QCOMPARE(comm.Write("x", 1), -1);
        break;
    case Failing::PurgeOfVanished:
        pair->unplug();
        comm.PurgeInput();
        break;
    case Failing::RefusedSettings:
        QVERIFY_THROWS_EXCEPTION(ECommError, comm.SetStopbits(TStopbits::sb15));
        break;
    case Failing::WriteWhenClosed:
        comm.Close();
        QCOMPARE(comm.Write("x", 1), -1);
        break;
    case Failing::ReadWhenClosed:
        comm.Close();
        QCOMPARE(comm.Read(&byte, 1), -1);
        break;
    case Failing::OpenOfMissing:
        comm.Close();
        comm.SetDeviceName("/dev/pts/no such device");
        QVERIFY_THROWS_EXCEPTION(ECommError, comm.Open());
        break;
    }
    auto told = [&comm] {
        return QStringLiteral("%1 %2 %3")
            .arg(int(comm.LastError().Kind))
            .arg(comm.LastError().Code)
            .arg(QString::fromStdString(comm.LastError().Message));
    };
    const QString expected = QStringLiteral("%1 %2 %3").arg(int(kind)).arg(code).arg(text);
    QCOMPARE(told(), expected);
    QVERIFY(comm.LastError());
    comm.Close();
    QCOMPARE(told(), expected);

    // A call that reaches the device and succeeds speaks for itself again.
    if (failing == Failing::RefusedSettings) {
        comm.Open();
        QVERIFY_THROWS_EXCEPTION(ECommError, comm.SetStopbits(TStopbits::sb15));
        QCOMPARE(told(), expected);
        QCOMPARE(comm.Write("x", 1), 1);
    } else {
        pair = std::make_unique<PtyPair>();
        comm.SetDeviceName(pair->portPath());
        comm.Open();
    }
    QVERIFY(!comm.LastError());
    QCOMPARE(told(), QStringLiteral("%1 0 ").arg(int(CommErrorKind::None)));
}

QTEST_GUILESS_MAIN(TestCommLifecycle)
#include "test_lifecycle.moc"
