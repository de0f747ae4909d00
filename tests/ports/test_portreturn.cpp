// Devices that come and go, on made-up trees: whether a device that vanished is back
// (and under which name), and whether the watcher notices the directories that matter,
// also when they appear only later.

#include "deviceidentity.h"
#include "faketree.h"
#include "portwatcher.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace ports;

namespace {

using Build = std::function<void(FakeTree&)>;

// A name starting with "dev/" is a device path typed in full, inside the tree.
QString nameIn(const FakeTree& tree, const QString& name)
{
    return name.startsWith(QStringLiteral("dev/")) ? tree.path(name) : name;
}

} // namespace

Q_DECLARE_METATYPE(Build)

class TestPortReturn : public QObject {
    Q_OBJECT
private slots:
    void returnedDevice_data();
    void returnedDevice();
    void watcherNoticesDirectoriesAsTheyAppear();
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

void TestPortReturn::watcherNoticesDirectoriesAsTheyAppear()
{
    FakeTree tree;
    tree.writeNode("dev/ttyS0");
    tree.writeNode("dev/pts/0");
    QVERIFY(tree.isValid());
    const PortRoots roots{tree.path("sys"), tree.path("dev"), tree.path("run/qldixw/ports")};
    PortWatcher watcher(roots);
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

QTEST_GUILESS_MAIN(TestPortReturn)
#include "test_portreturn.moc"
