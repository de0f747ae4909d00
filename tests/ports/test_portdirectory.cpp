#include "faketree.h"
#include "portdirectory.h"
#include "portlist.h"

#include <QTest>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace ports;

namespace {

using Build = std::function<void(FakeTree&)>;

// "COM3 dev/ttyUSB0" per entry: the name and where it leads, inside the tree.
QStringList listing(const FakeTree& tree, const QList<PortEntry>& entries)
{
    QStringList lines;
    for (const PortEntry& entry : entries)
        lines << entry.name + QLatin1Char(' ') + tree.relative(entry.devicePath);
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(Build)

class TestPortDirectory : public QObject {
    Q_OBJECT
private slots:
    void enumeration_data();
    void enumeration();
    void kindAndDescription_data();
    void kindAndDescription();
    void resolve_data();
    void resolve();
    void listOfAFullMachine();
    void virtualFolderOnlyWhenPrivate_data();
    void virtualFolderOnlyWhenPrivate();
};

void TestPortDirectory::enumeration_data()
{
    QTest::addColumn<Build>("build");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("phantom ttyS dropped, real UART and its number kept")
        << Build([](FakeTree& t) {
               t.addUart("ttyS0", 4);
               for (const char* phantom : {"ttyS1", "ttyS2", "ttyS3", "ttyS31"})
                   t.addUart(phantom, 0);
               t.addDeviceless("tty0");
               t.addDeviceless("ptmx");
           })
        << QStringList{"COM1 dev/ttyS0"};
    QTest::newRow("UART on the newer serial-base bus")
        << Build([](FakeTree& t) {
               t.addUart("ttyS0", 4, "port");
               t.addUart("ttyS1", 0, "port");
           })
        << QStringList{"COM1 dev/ttyS0"};
    QTest::newRow("adapters numbered after the UARTs, ACM before USB")
        << Build([](FakeTree& t) {
               t.addUsb("ttyUSB0", "1-2");
               t.addUart("ttyS1", 4);
               t.addUsb("ttyACM0", "1-1", {}, "cdc_acm");
               t.addUart("ttyS0", 4);
           })
        << QStringList{"COM1 dev/ttyS0", "COM2 dev/ttyS1", "COM3 dev/ttyACM0", "COM4 dev/ttyUSB0"};
    QTest::newRow("only ttyS1 answers: it stays COM2, the adapter follows")
        << Build([](FakeTree& t) {
               t.addUart("ttyS0", 0);
               t.addUart("ttyS1", 4);
               t.addUsb("ttyUSB0", "1-1");
           })
        << QStringList{"COM2 dev/ttyS1", "COM3 dev/ttyUSB0"};
    QTest::newRow("no UART: adapters from COM1 in the kernel's numeric order")
        << Build([](FakeTree& t) {
               t.addUsb("ttyUSB10", "1-3");
               t.addUsb("ttyUSB2", "1-2");
               t.addUsb("ttyUSB0", "1-1");
           })
        << QStringList{"COM1 dev/ttyUSB0", "COM2 dev/ttyUSB2", "COM3 dev/ttyUSB10"};
    QTest::newRow("board UART, then USB, then RFCOMM")
        << Build([](FakeTree& t) {
               t.addDeviceless("rfcomm0");
               t.addUsb("ttyUSB0", "1-1");
               t.addUart("ttyAMA0", 3, "uart-pl011");
               t.addUart("ttyAMA1", 0, "uart-pl011");
           })
        << QStringList{"COM1 dev/ttyAMA0", "COM2 dev/ttyUSB0", "COM3 dev/rfcomm0"};
    QTest::newRow("port without a device node skipped")
        << Build([](FakeTree& t) {
               t.addUsb("ttyUSB0", "1-1");
               t.addUsb("ttyUSB1", "1-2");
               t.removeDeviceNode("ttyUSB0");
           })
        << QStringList{"COM1 dev/ttyUSB1"};
    // A plain file is no character device, so the driver is not asked and the port counts
    // as one of the phantoms.
    QTest::newRow("8250 port without type attribute and no device to ask")
        << Build([](FakeTree& t) { t.addUart("ttyS0", -1); }) << QStringList{};
    QTest::newRow("virtual port shadows the real port of the same name")
        << Build([](FakeTree& t) {
               t.addUart("ttyS0", 4);
               t.addUsb("ttyUSB0", "1-1");
               t.addVirtual("COM1", "pts/7");
           })
        << QStringList{"COM1 pts/7", "COM2 dev/ttyUSB0"};
    QTest::newRow("dangling link and plain file skipped, virtual ports merged by number")
        << Build([](FakeTree& t) {
               t.addUsb("ttyUSB0", "1-1");
               t.addDanglingVirtual("COM2");
               t.addPlainFileInVirtualDirectory("COM3");
               t.addVirtual("COM12", "pts/12");
               t.addVirtual("COM4", "pts/4");
           })
        << QStringList{"COM1 dev/ttyUSB0", "COM4 pts/4", "COM12 pts/12"};
    QTest::newRow("non-numeric and non-COM names")
        << Build([](FakeTree& t) {
               t.addVirtual("COMx", "pts/1");
               t.addVirtual("COM2", "pts/2");
               t.addVirtual("ttyV0", "pts/3");
               t.addVirtual("COM", "pts/4");
           })
        << QStringList{"COM2 pts/2", "COMx pts/1"};
    QTest::newRow("nothing at all") << Build([](FakeTree&) {}) << QStringList{};
}

void TestPortDirectory::enumeration()
{
    QFETCH(Build, build);
    QFETCH(QStringList, expected);
    FakeTree tree;
    build(tree);
    QVERIFY(tree.isValid());
    QCOMPARE(listing(tree, PortDirectory(tree.roots()).entries()), expected);
}

void TestPortDirectory::kindAndDescription_data()
{
    QTest::addColumn<Build>("build");
    QTest::addColumn<PortKind>("kind");
    QTest::addColumn<QString>("description");

    QTest::newRow("USB adapter names itself")
        << Build([](FakeTree& t) {
               t.addUsb("ttyUSB0", "1-4",
                              {"0403", "6001", "FT232R USB UART", "FTDI", "A50285BI"});
           })
        << PortKind::Usb << "FT232R USB UART, FTDI, 0403:6001, s/n A50285BI";
    QTest::newRow("ACM device with ids only")
        << Build([](FakeTree& t) { t.addUsb("ttyACM0", "1-1", {"2341", "0043", {}, {}, {}}, "cdc_acm"); })
        << PortKind::UsbAcm << "2341:0043";
    QTest::newRow("board UART")
        << Build([](FakeTree& t) { t.addUart("ttyS0", 4); }) << PortKind::Uart << "";
    QTest::newRow("RFCOMM link")
        << Build([](FakeTree& t) { t.addDeviceless("rfcomm0"); }) << PortKind::Bluetooth << "";
    QTest::newRow("virtual port tells its link")
        << Build([](FakeTree& t) { t.addVirtual("COM1", "pts/3"); }) << PortKind::Virtual
        << "run/ports/COM1";
}

void TestPortDirectory::kindAndDescription()
{
    QFETCH(Build, build);
    QFETCH(PortKind, kind);
    QFETCH(QString, description);
    FakeTree tree;
    build(tree);
    QVERIFY(tree.isValid());
    const QList<PortEntry> entries = PortDirectory(tree.roots()).entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].kind, kind);
    QCOMPARE(tree.relative(entries[0].description), description);
    QVERIFY(entryToolTip(entries[0]).startsWith(entries[0].devicePath));
    QVERIFY(entryToolTip(entries[0]).contains(kindText(kind)));
}

void TestPortDirectory::resolve_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("real port") << "COM1" << "dev/ttyS0";
    QTest::newRow("virtual before real") << "COM2" << "pts/5";
    QTest::newRow("virtual only") << "COM9" << "pts/9";
    QTest::newRow("lower case is no name") << "com1" << "";
    QTest::newRow("unknown number") << "COM3" << "";
    QTest::newRow("dangling link") << "COM4" << "";
    QTest::newRow("kernel name is no port name") << "ttyUSB0" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("absolute path as it stands") << "/dev/ttyUSB7" << "/dev/ttyUSB7";
    QTest::newRow("by-id path as it stands")
        << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0" << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    QTest::newRow("pty path as it stands") << "/dev/pts/3" << "/dev/pts/3";
    QTest::newRow("resource path is no device") << ":/COM1" << "";
}

void TestPortDirectory::resolve()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    FakeTree tree;
    tree.addUart("ttyS0", 4);
    tree.addUsb("ttyUSB0", "1-1");  // COM2, hidden behind the virtual COM2
    tree.addVirtual("COM2", "pts/5");
    tree.addVirtual("COM9", "pts/9");
    tree.addDanglingVirtual("COM4");
    QVERIFY(tree.isValid());
    const PortDirectory directory(tree.roots());
    QCOMPARE(tree.relative(directory.resolveDevicePath(name)), expected);
    QCOMPARE(directory.lookup(name).has_value(), !expected.isEmpty() && !name.startsWith('/'));
}

// A machine with one real UART among phantoms and nine adapters: the names run to COM10,
// the list stops below 10 and the shadowing virtual port keeps its place in the order.
void TestPortDirectory::listOfAFullMachine()
{
    FakeTree tree;
    tree.addUart("ttyS0", 4);
    tree.addUart("ttyS1", 0);
    for (int i = 0; i < 9; ++i)
        tree.addUsb(QStringLiteral("ttyUSB%1").arg(i), QStringLiteral("1-%1").arg(i + 1));
    tree.addVirtual("COM5", "pts/0");
    QVERIFY(tree.isValid());
    const QList<PortEntry> entries = PortDirectory(tree.roots()).entries();
    QCOMPARE(entries.size(), 10);
    QCOMPARE(entries.last().name, QStringLiteral("COM10"));
    QCOMPARE(tree.relative(entries.last().devicePath), QStringLiteral("dev/ttyUSB8"));
    QCOMPARE(entries[4].kind, PortKind::Virtual);
    const std::optional<QStringList> items = portListItems(entries);
    QVERIFY(items.has_value());
    QCOMPARE(*items, (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8",
                                  "COM9"}));
}

// Without XDG_RUNTIME_DIR the folder is under /tmp, where another user can make it first
// and link COM3 to a terminal of theirs.
void TestPortDirectory::virtualFolderOnlyWhenPrivate_data()
{
    QTest::addColumn<Build>("change");     // done to the tree after COM3 was published
    QTest::addColumn<bool>("needsRoot");   // to hand a folder to another user, or to own a link as root
    QTest::addColumn<QString>("faultAt");  // the folder named in the notice, inside the tree; "" when used
    QTest::addColumn<QString>("why");

    const auto chown = [](const char* folder) {
        return Build([folder](FakeTree& t) { QCOMPARE(::chown(QFile::encodeName(t.path(folder)).constData(), 65534, 65534), 0); });
    };
    const auto chmod = [](const char* folder, mode_t mode) {
        return Build([folder, mode](FakeTree& t) { QCOMPARE(::chmod(QFile::encodeName(t.path(folder)).constData(), mode), 0); });
    };
    // `folder` moved aside and a link left in its place.
    const auto linkInstead = [](const char* folder) {
        return Build([folder](FakeTree& t) {
            QVERIFY(QDir().rename(t.path(folder), t.path(folder) + ".real"));
            QVERIFY(QFile::link(QFileInfo(t.path(folder)).fileName() + ".real", t.path(folder)));
        });
    };
    const QString otherOwner = QStringLiteral("принадлежит другому пользователю (uid 65534)");
    const QString othersWrite = QStringLiteral("могут писать другие пользователи");

    QTest::newRow("private") << Build([](FakeTree&) {}) << false << "" << "";
    QTest::newRow("made by another user") << chown("run/ports") << true << "run/ports" << otherOwner;
    QTest::newRow("above it, a folder of another user") << chown("run") << true << "run" << otherOwner;
    QTest::newRow("its group may write") << chmod("run/ports", 0770) << false << "run/ports" << othersWrite;
    QTest::newRow("everyone may write above it") << chmod("run", 0777) << false << "run" << othersWrite;
    // As /tmp is: no one can take away or replace what is ours in it.
    QTest::newRow("above it, root's sticky folder") << chmod("run", 01777) << true << "" << "";
    QTest::newRow("itself a link") << linkInstead("run/ports") << false << "run/ports"
                                   << QStringLiteral("символическая ссылка");
    // Root's links above (/var/run → /run) are followed; the folder is then judged where it is.
    QTest::newRow("above it, root's link") << linkInstead("run") << true << "" << "";
}

void TestPortDirectory::virtualFolderOnlyWhenPrivate()
{
    QFETCH(Build, change);
    QFETCH(bool, needsRoot);
    QFETCH(QString, faultAt);
    QFETCH(QString, why);
    if (needsRoot && ::geteuid() != 0)
        QSKIP("only root can give a folder to another user or own a link as root");
    FakeTree tree;
    tree.addVirtual("COM3", "pts/3");
    QVERIFY(tree.isValid());
    change(tree);
    if (QTest::currentTestFailed())
        return;

    PortDirectory directory(tree.roots());
    QStringList notices;
    directory.setNoticeHandler([&](const QString& line) { notices << line; });
    // Read as the window reads it: again and again.
    for (int look = 0; look < 3; ++look)
        QCOMPARE(directory.lookup(QStringLiteral("COM3")).has_value(), faultAt.isEmpty());
    if (faultAt.isEmpty()) {
        QCOMPARE(notices, QStringList());
        return;
    }
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices[0].startsWith(QStringLiteral("Папка виртуальных портов %1 не используется").arg(tree.path("run/ports"))),
             qPrintable(notices[0]));
    QVERIFY2(notices[0].contains(tree.path(faultAt)) && notices[0].contains(why), qPrintable(notices[0]));
}

QTEST_GUILESS_MAIN(TestPortDirectory)
#include "test_portdirectory.moc"
