// Devices a port name must never open: the kernel's console, the virtual consoles,
// /dev/tty, /dev/ptmx and devices of other classes. The console is played by
// pseudo-terminals named in made-up proc and sysfs trees; the real consoles and the real
// ttyS ports are never touched.

#include "commtesting.h"
#include "linux/terminaldevice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace commtesting;
using namespace commport;
using commport::backend::ClassifyCharacterDevice;
using commport::backend::OpenTerminalDevice;
using commport::backend::SystemError;
using commport::backend::SystemRoots;
using commport::backend::TerminalKind;

namespace {

// A pseudo-terminal whose slave was never unlocked: it has a node and a number, but
// opening it fails (EIO). What is refused with its own kind was refused unopened.
class LockedSlave {
public:
    LockedSlave()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0)
            if (const char* name = ::ptsname(master_))
                path_ = name;
    }
    ~LockedSlave()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    const std::string& path() const { return path_; }

private:
    int master_ = -1;
    std::string path_;
};

// "136:7", as proc and sysfs write a device number.
QString deviceNumber(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return QStringLiteral("%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
}

bool writeFile(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

class TestTerminalKind : public QObject {
    Q_OBJECT
private slots:
    void deviceNumbers_data();
    void deviceNumbers();
    void refusedBeforeOpening_data();
    void refusedBeforeOpening();
    void aPortBesideTheConsoleOpens();
    void linkToPtmxIsNoPort();
};

// The tty driver's own devices, known by number alone.
void TestTerminalKind::deviceNumbers_data()
{
    QTest::addColumn<uint>("major");
    QTest::addColumn<uint>("minor");
    QTest::addColumn<TerminalKind>("kind");
    QTest::newRow("/dev/console") << 5u << 1u << TerminalKind::KernelConsole;
    QTest::newRow("/dev/tty") << 5u << 0u << TerminalKind::NotATerminal;
    QTest::newRow("/dev/ptmx") << 5u << 2u << TerminalKind::NotATerminal;
    // The virtual consoles share ttyS's major below its first minor.
    QTest::newRow("/dev/tty0") << 4u << 0u << TerminalKind::KernelConsole;
    QTest::newRow("/dev/tty1") << 4u << 1u << TerminalKind::KernelConsole;
    QTest::newRow("/dev/tty63") << 4u << 63u << TerminalKind::KernelConsole;
    QTest::newRow("ttyS0, the first minor past them") << 4u << 64u << TerminalKind::Port;
    QTest::newRow("a pty slave, unknown to sysfs") << 136u << 3u << TerminalKind::Port;
    QTest::newRow("ttyS1, in the tty class") << 4u << 65u << TerminalKind::Port;
}

void TestTerminalKind::deviceNumbers()
{
    QFETCH(uint, major);
    QFETCH(uint, minor);
    QFETCH(TerminalKind, kind);
    QTemporaryDir tree;
    QVERIFY(writeFile(tree.filePath("proc/consoles"), {}));
    QVERIFY(QDir().mkpath(tree.filePath("sys/dev/char/4:65")));
    QVERIFY(QFile::link("../../../class/tty", tree.filePath("sys/dev/char/4:65/subsystem")));
    const SystemRoots roots{tree.filePath("proc").toStdString(), tree.filePath("sys").toStdString()};
    QCOMPARE(ClassifyCharacterDevice(makedev(major, minor), roots), kind);
}

void TestTerminalKind::refusedBeforeOpening_data()
{
    // %1 is the locked slave's "major:minor".
    QTest::addColumn<QString>("consoles");   // proc's consoles
    QTest::addColumn<QString>("active");     // sysfs's class/tty/console/active; its ttyFAKE0 is the slave
    QTest::addColumn<QString>("charClass");  // the class sysfs files the slave under, or none
    QTest::addColumn<CommErrorKind>("kind");

    QTest::newRow("named in proc's consoles")
        << "netcon0              -W- (E     )\ntty0                 -WU (E  p  )    4:7\n"
           "ttyS0                -W- (EC p a)    %1\n"
        << "" << "" << CommErrorKind::SystemConsole;
    QTest::newRow("active in sysfs") << "" << "tty0 ttyFAKE0\n" << "" << CommErrorKind::SystemConsole;
    QTest::newRow("a device of another class") << "" << "" << "misc" << CommErrorKind::NotAPort;
    // Nothing refuses it unopened: the open itself fails, as a locked slave does.
    QTest::newRow("another console, no class") << "ttyS0 -W- (EC p a)    4:64\n"
                                                << "ttyS0\n" << "" << CommErrorKind::Gone;
}

void TestTerminalKind::refusedBeforeOpening()
{
    QFETCH(QString, consoles);
    QFETCH(QString, active);
    QFETCH(QString, charClass);
    QFETCH(CommErrorKind, kind);
    LockedSlave slave;
    QVERIFY(!slave.path().empty());
    const QString number = deviceNumber(slave.path());
    QVERIFY(!number.isEmpty());

    QTemporaryDir tree;
    QVERIFY(writeFile(tree.filePath("proc/consoles"), consoles.arg(number)));
    QVERIFY(writeFile(tree.filePath("sys/class/tty/console/active"), active));
    QVERIFY(writeFile(tree.filePath("sys/class/tty/ttyFAKE0/dev"), number + u'\n'));
    if (!charClass.isEmpty()) {
        QVERIFY(QDir().mkpath(tree.filePath("sys/dev/char/" + number)));
        QVERIFY(QFile::link("../../../class/" + charClass, tree.filePath("sys/dev/char/" + number + "/subsystem")));
    }
    // Reached through a port link, as the console reaches it.
    const QString link = tree.filePath("COM3");
    QVERIFY(QFile::link(QString::fromStdString(slave.path()), link));

    const SystemRoots roots{tree.filePath("proc").toStdString(), tree.filePath("sys").toStdString()};
    SystemError error;
    QVERIFY(!OpenTerminalDevice(link.toStdString(), error, roots));
    QCOMPARE(error.kind, kind);
    if (kind == CommErrorKind::SystemConsole)
        QCOMPARE(error.code, EBUSY);
}

// A console on ttyS0 keeps no other terminal from being a port.
void TestTerminalKind::aPortBesideTheConsoleOpens()
{
    PtyPair pair;
    QTemporaryDir tree;
    QVERIFY(writeFile(tree.filePath("proc/consoles"), QStringLiteral("ttyS0 -W- (EC p a)    4:64\n")));
    QVERIFY(writeFile(tree.filePath("sys/class/tty/console/active"), QStringLiteral("ttyS0\n")));
    const SystemRoots roots{tree.filePath("proc").toStdString(), tree.filePath("sys").toStdString()};
    SystemError error;
    QVERIFY(OpenTerminalDevice(pair.portPath(), error, roots));
    QCOMPARE(error.kind, CommErrorKind::None);
}

// Opening /dev/ptmx makes a new pseudo-terminal, which isatty() takes for a terminal:
// the component refuses a name that leads there as no port, with its usual message.
void TestTerminalKind::linkToPtmxIsNoPort()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("COM4"));
    QVERIFY(QFile::link(QStringLiteral("/dev/ptmx"), link));
    TComm comm;
    comm.SetDeviceName(link.toStdString());
    try {
        comm.Open();
        QFAIL("a link to /dev/ptmx opened as a port");
    } catch (const ECommError& e) {
        QCOMPARE(e.Kind, CommErrorKind::NotAPort);
        QCOMPARE(QString::fromStdString(e.what()), QStringLiteral("Invalid device handle, access denied (Error: -1) "));
    }
    QVERIFY(!comm.IsOpen());
}

QTEST_GUILESS_MAIN(TestTerminalKind)
#include "test_terminalkind.moc"
