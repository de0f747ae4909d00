// Devices that come and go, on made-up trees: whether a device that vanished is back
// (and under which name), and whether the watcher notices the directories that matter,
// also when they appear only later.

#include "deviceidentity.h"
#include "faketree.h"
#include "portwatcher.h"
#include "ptypair.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace ports;

namespace {

using Build = std::function<void(FakeTree&)>;
using qldixw::testing::PtyPair;
// Something done to the terminals of the machine; false when it could not be done.
using Stir = std::function<bool(PtyPair& linked)>;

// A name starting with "dev/" is a device path typed in full, inside the tree.
QString nameIn(const FakeTree& tree, const QString& name)
{
    return name.startsWith(QStringLiteral("dev/")) ? tree.path(name) : name;
}

} // namespace

Q_DECLARE_METATYPE(Build)
Q_DECLARE_METATYPE(Stir)

class TestPortReturn : public QObject {
    Q_OBJECT
private slots:
    void returnedDevice_data();
    void returnedDevice();
    void watcherNoticesDirectoriesAsTheyAppear_data();
    void watcherNoticesDirectoriesAsTheyAppear();
    void watcherLeavesOtherTerminalsAlone_data();
    void watcherLeavesOtherTerminalsAlone();
};

void TestPortReturn::returnedDevice_data()
{
    QTest::addColumn<Build>("before");    // the machine while the port is open
    QTest::addColumn<QString>("name");    // what the port was opened by
    QTest::addColumn<Build>("change");    // what happened after the device vanished
    QTest::addColumn<bool>("canReturn");
    QTest::addColumn<QString>("expected"); // "<name> <device>" inside the tree, "" while not back

    const Build twoAdapters = [](FakeTree& t) {
        t.addUsb("ttyUSB0", "1-1");
        t.addByIdLink("usb-A-if00-port0", "ttyUSB0");
        t.addUsb("ttyUSB1", "1-2");
        t.addByIdLink("usb-B-if00-port0", "ttyUSB1");
    };
    QTest::newRow("adapter back on its own number")
        << twoAdapters << "COM1"
        << Build([](FakeTree& t) {
               t.unplugUsb("ttyUSB0", "1-1");
               t.addUsb("ttyUSB0", "1-1");
               t.addByIdLink("usb-A-if00-port0", "ttyUSB0");
           })
        << true << "COM1 dev/ttyUSB0";
    QTest::newRow("adapter back under another number: its new name, not the old one's new owner")
        << twoAdapters << "COM1"
        << Build([](FakeTree& t) {
               t.unplugUsb("ttyUSB0", "1-1");
               t.addUsb("ttyUSB2", "1-3");
               t.addByIdLink("usb-A-if00-port0", "ttyUSB2");
           })
        << true << "COM2 dev/ttyUSB2";
    QTest::newRow("another adapter on the same name is not the device")
        << twoAdapters << "COM1"
        << Build([](FakeTree& t) {
               t.unplugUsb("ttyUSB0", "1-1");
               t.addUsb("ttyUSB0", "1-5");
               t.addByIdLink("usb-C-if00-port0", "ttyUSB0");
           })
        << true << "";
    QTest::newRow("node back, by-id link not yet")
        << twoAdapters << "COM1"
        << Build([](FakeTree& t) {
               t.unplugUsb("ttyUSB0", "1-1");
               t.addUsb("ttyUSB0", "1-1");
           })
        << true << "";
    QTest::newRow("adapter typed as its by-id path")
        << twoAdapters << "dev/serial/by-id/usb-A-if00-port0"
        << Build([](FakeTree& t) {
               t.unplugUsb("ttyUSB0", "1-1");
               t.addUsb("ttyUSB3", "1-4");
               t.addByIdLink("usb-A-if00-port0", "ttyUSB3");
           })
        << true << "dev/serial/by-id/usb-A-if00-port0 dev/serial/by-id/usb-A-if00-port0";

    const Build simulator = [](FakeTree& t) { t.addVirtual("COM5", "dev/pts/4"); };
    QTest::newRow("virtual port published anew")
        << simulator << "COM5"
        << Build([](FakeTree& t) {
               t.removeFile("dev/pts/4");
               t.republishVirtual("COM5", "dev/pts/4");
           })
        << true << "COM5 dev/pts/4";
    QTest::newRow("stale virtual link whose terminal number came back")
        << simulator << "COM5"
        << Build([](FakeTree& t) {
               t.removeFile("dev/pts/4");
               t.writeNode("dev/pts/4");
           })
        << true << "";
    QTest::newRow("virtual link to a device that is not a terminal")
        << Build([](FakeTree& t) { t.addVirtual("COM6", "dev/ttyX0"); }) << "COM6"
        << Build([](FakeTree& t) {
               t.removeFile("dev/ttyX0");
               t.writeNode("dev/ttyX0");
           })
        << true << "COM6 dev/ttyX0";
    QTest::newRow("terminal typed as a path never comes back")
        << Build([](FakeTree& t) { t.writeNode("dev/pts/7"); }) << "dev/pts/7"
        << Build([](FakeTree& t) {
               t.removeFile("dev/pts/7");
               t.writeNode("dev/pts/7");
           })
        << false << "";
}

void TestPortReturn::returnedDevice()
{
    QFETCH(Build, before);
    QFETCH(QString, name);
    QFETCH(Build, change);
    QFETCH(bool, canReturn);
    QFETCH(QString, expected);
    FakeTree tree;
    before(tree);
    QVERIFY(tree.isValid());
    const PortDirectory directory(tree.roots());
    const QString opened = nameIn(tree, name);
    const QString path = directory.resolveDevicePath(opened);
    QVERIFY(!path.isEmpty());
    const DeviceIdentity identity = identifyDevice(opened, path, directory);

    change(tree);
    QVERIFY(tree.isValid());
    QCOMPARE(ports::canReturn(identity, directory), canReturn);
    const std::optional<ReturnedDevice> back = findReturnedDevice(identity, directory);
    const QString found = back ? tree.relative(back->name) + u' ' + tree.relative(back->devicePath) : QString();
    QCOMPARE(found, expected);
}

void TestPortReturn::watcherNoticesDirectoriesAsTheyAppear_data()
{
    QTest::addColumn<bool>("withoutInotify");
    QTest::newRow("told by the kernel") << false;
    QTest::newRow("no inotify descriptor left: looked at now and then") << true;
}

void TestPortReturn::watcherNoticesDirectoriesAsTheyAppear()
{
    QFETCH(bool, withoutInotify);
    FakeTree tree;
    tree.writeNode("dev/ttyS0");
    tree.writeNode("dev/pts/0");
    QVERIFY(tree.isValid());
    const PortRoots roots{tree.path("sys"), tree.path("dev"), tree.path("run/qldixw/ports")};
    const auto makeWatcher = [&] {
        if (!withoutInotify)
            return std::make_unique<PortWatcher>(roots);
        // Not one more descriptor while the watcher is made, as on a machine whose inotify
        // instances are all taken.
        rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowestFree);
        rlimit none = files;
        none.rlim_cur = rlim_t(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &none);
        auto made = std::make_unique<PortWatcher>(roots);
        ::setrlimit(RLIMIT_NOFILE, &files);
        return made;
    };
    const std::unique_ptr<PortWatcher> made = makeWatcher();
    PortWatcher& watcher = *made;
    QCOMPARE(watcher.polls(), withoutInotify);
    QSignalSpy noticed(&watcher, &PortWatcher::portsChanged);

    const auto link = [&](const QString& target, const QString& name) {
        return QFile::link(tree.path(target), tree.path("run/qldixw/ports/" + name));
    };
    const auto node = [&](const QString& path) {
        QFile file(tree.path(path));
        return file.open(QIODevice::WriteOnly);
    };
    struct Step {
        const char* what;
        std::function<bool()> act;
        bool news;
    };
    const Step steps[] = {
        {"runtime directory made", [&] { return QDir().mkpath(tree.path("run")); }, true},
        {"program directory made", [&] { return QDir().mkpath(tree.path("run/qldixw")); }, true},
        {"ports directory made", [&] { return QDir().mkpath(tree.path("run/qldixw/ports")); }, true},
        {"port published", [&] { return link("dev/ttyS0", "COM5"); }, true},
        {"port published on a terminal", [&] { return link("dev/pts/0", "COM6"); }, true},
        {"another terminal opened", [&] { return node("dev/pts/1"); }, false},
        {"the port's terminal gone, its link left", [&] { return QFile::remove(tree.path("dev/pts/0")); }, true},
        {"another terminal closed", [&] { return QFile::remove(tree.path("dev/pts/1")); }, false},
        {"first adapter's by-id directory", [&] { return QDir().mkpath(tree.path("dev/serial/by-id")); }, true},
        {"by-id link", [&] { return QFile::link("../../ttyS0", tree.path("dev/serial/by-id/usb-A")); }, true},
        {"device node gone", [&] { return QFile::remove(tree.path("dev/ttyS0")); }, true},
        {"ports unpublished", [&] {
             return QFile::remove(tree.path("run/qldixw/ports/COM5")) && QFile::remove(tree.path("run/qldixw/ports/COM6"));
         }, true},
    };
    for (const Step& step : steps) {
        // A notice still settling from the step before must not count for this one: the
        // watcher is taken as settled once a while passes without one, however long that
        // takes to come on a loaded machine.
        QVERIFY2(QTest::qWaitFor([&] {
                     noticed.clear();
                     QTest::qWait(100);
                     return noticed.isEmpty();
                 }, 10000),
                 step.what);
        QVERIFY2(step.act(), step.what);
        if (step.news) {
            QVERIFY2(QTest::qWaitFor([&] { return !noticed.isEmpty(); }, 5000), step.what);
        } else {
            // A short fixed wait: it only shows that no notice comes.
            QTest::qWait(200);
            QVERIFY2(noticed.isEmpty(), step.what);
        }
    }
    QStringList watched = watcher.watchedDirectories();
    QStringList wanted = watcher.wantedDirectories();
    watched.sort();
    wanted.sort();
    QCOMPARE(watched, wanted);
}

void TestPortReturn::watcherLeavesOtherTerminalsAlone_data()
{
    QTest::addColumn<Stir>("stir");
    // Each of these also happens while the port is open, or anywhere on the machine at any
    // time: none of them may wake the watcher.
    QTest::newRow("terminals opened and closed by another program") << Stir([](PtyPair&) {
        for (int i = 0; i < 5; ++i) {
            PtyPair other;
            const int port = ::open(other.portPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (port < 0)
                return false;
            ::close(port);
        }
        return true;
    });
    QTest::newRow("bytes both ways through the port's own terminal") << Stir([](PtyPair& linked) {
        const int port = ::open(linked.portPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        bool passed = port >= 0;
        for (int i = 0; i < 20 && passed; ++i) {
            char byte = 0;
            passed = ::write(port, "q", 1) == 1 && linked.receive(1) == "q" && linked.send("a")
                && ::read(port, &byte, 1) == 1 && byte == 'a';
        }
        if (port >= 0)
            ::close(port);
        return passed;
    });
    QTest::newRow("the port's own terminal set up") << Stir([](PtyPair& linked) {
        const int port = ::open(linked.portPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios line{};
        const bool done = port >= 0 && ::tcgetattr(port, &line) == 0 && ::cfsetspeed(&line, B9600) == 0
            && ::tcsetattr(port, TCSANOW, &line) == 0 && ::tcflush(port, TCIOFLUSH) == 0;
        if (port >= 0)
            ::close(port);
        return done;
    });
}

void TestPortReturn::watcherLeavesOtherTerminalsAlone()
{
    QFETCH(Stir, stir);
    // The machine's own terminals, linked from a made-up virtual ports directory; the rest
    // of the tree is made up, so nothing else on the machine reaches the watcher.
    FakeTree tree;
    tree.writeNode("dev/ttyS0");
    QVERIFY(tree.isValid());
    const QString portsDir = tree.path("run/ports");
    QVERIFY(QDir().mkpath(portsDir));
    PtyPair linked;
    QVERIFY(QFile::link(QString::fromStdString(linked.portPath()), portsDir + "/COM5"));
    PortWatcher watcher(PortRoots{tree.path("sys"), tree.path("dev"), portsDir});
    QSignalSpy noticed(&watcher, &PortWatcher::portsChanged);

    // A link made in the ports directory wakes the watcher once; notices are read in the
    // order they were made, so once this one is seen, whatever came before it has been read
    // too, and any of it that reached the watcher shows as a wake-up more.
    int marks = 0;
    const auto wakeUpsForAMark = [&]() -> int {
        noticed.clear();
        const int before = watcher.wakeUps();
        if (!QFile::link(tree.path("dev/ttyS0"), portsDir + QStringLiteral("/mark%1").arg(++marks)))
            return -1;
        if (!QTest::qWaitFor([&] { return !noticed.isEmpty(); }, 5000))
            return -1;
        return watcher.wakeUps() - before;
    };
    QCOMPARE(wakeUpsForAMark(), 1);
    QVERIFY(stir(linked));
    QCOMPARE(wakeUpsForAMark(), 1);

    // The port's own device going is still news.
    noticed.clear();
    linked.unplug();
    QVERIFY(QTest::qWaitFor([&] { return !noticed.isEmpty(); }, 5000));
}

QTEST_GUILESS_MAIN(TestPortReturn)
#include "test_portreturn.moc"
