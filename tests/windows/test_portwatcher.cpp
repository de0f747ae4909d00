// The port list on Windows, from a key of the test's own under HKEY_CURRENT_USER laid out
// as SERIALCOMM: the entries and what a name opens, and the watcher's notice when a port
// comes or goes, also while the key itself does not exist yet.

#include "portdirectory.h"
#include "portwatcher.h"

#include <QSignalSpy>
#include <QTest>

#include <windows.h>

using namespace ports;

namespace {

constexpr const char* kParent = "Software\\QLDIXw tests";
constexpr const char* kKey = "Software\\QLDIXw tests\\SERIALCOMM";

PortRoots testRoots()
{
    return PortRoots{QStringLiteral("HKEY_CURRENT_USER\\") + QLatin1String(kKey), false};
}

void setPort(const char* device, const char* port)
{
    HKEY key = nullptr;
    QCOMPARE(::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             LONG(ERROR_SUCCESS));
    QCOMPARE(::RegSetValueExA(key, device, 0, REG_SZ, reinterpret_cast<const BYTE*>(port), DWORD(strlen(port) + 1)),
             LONG(ERROR_SUCCESS));
    ::RegCloseKey(key);
}

void removePort(const char* device)
{
    HKEY key = nullptr;
    QCOMPARE(::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &key), LONG(ERROR_SUCCESS));
    QCOMPARE(::RegDeleteValueA(key, device), LONG(ERROR_SUCCESS));
    ::RegCloseKey(key);
}

QStringList names(const QList<PortEntry>& entries)
{
    QStringList list;
    for (const PortEntry& entry : entries)
        list << entry.name;
    return list;
}

} // namespace

class TestPortWatcher : public QObject {
    Q_OBJECT
private slots:
    void init() { ::RegDeleteTreeA(HKEY_CURRENT_USER, kParent); }
    void cleanup() { ::RegDeleteTreeA(HKEY_CURRENT_USER, kParent); }
    void entriesAndPaths_data();
    void entriesAndPaths();
    void portsComingAndGoing();
    void keyThatAppears();
};

void TestPortWatcher::entriesAndPaths_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::newRow("a board port") << "COM1" << "\\\\.\\COM1";
    QTest::newRow("above ten") << "COM12" << "\\\\.\\COM12";
    QTest::newRow("a device path as it stands") << "\\\\.\\COM77" << "\\\\.\\COM77";
    QTest::newRow("a name not listed") << "COM3" << "";
    QTest::newRow("another case is another name") << "com1" << "";
    QTest::newRow("a Linux path is no path here") << "/dev/ttyS0" << "";
}

void TestPortWatcher::entriesAndPaths()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    setPort("\\Device\\VCP0", "COM12");
    setPort("\\Device\\Serial0", "COM1");
    setPort("\\Device\\BthModem0", "COM4");
    const PortDirectory directory(testRoots());
    const QList<PortEntry> entries = directory.entries();
    QCOMPARE(names(entries), (QStringList{"COM1", "COM4", "COM12"}));
    QCOMPARE(int(entries[0].kind), int(PortKind::Uart));
    QCOMPARE(int(entries[1].kind), int(PortKind::Bluetooth));
    QCOMPARE(int(entries[2].kind), int(PortKind::Usb));
    QCOMPARE(entries[2].description, QStringLiteral("\\Device\\VCP0"));
    QCOMPARE(directory.resolveDevicePath(name), path);
}

void TestPortWatcher::portsComingAndGoing()
{
    setPort("\\Device\\Serial0", "COM1");
    PortWatcher watcher(testRoots());
    QCOMPARE(watcher.watchedKey(), QStringLiteral("HKEY_CURRENT_USER\\") + QLatin1String(kKey));
    QSignalSpy changed(&watcher, &PortWatcher::portsChanged);
    setPort("\\Device\\VCP0", "COM5");
    QTRY_VERIFY_WITH_TIMEOUT(changed.size() >= 1, 10000);
    QCOMPARE(names(PortDirectory(testRoots()).entries()), (QStringList{"COM1", "COM5"}));
    // A second notice is asked for after each: the port going is told too.
    changed.clear();
    removePort("\\Device\\VCP0");
    QTRY_VERIFY_WITH_TIMEOUT(changed.size() >= 1, 10000);
    QCOMPARE(names(PortDirectory(testRoots()).entries()), QStringList{"COM1"});
    QVERIFY(watcher.wakeUps() >= 2);
}

void TestPortWatcher::keyThatAppears()
{
    // No port since boot: no key. The nearest key above it is watched meanwhile.
    HKEY parent = nullptr;
    QCOMPARE(::RegCreateKeyExA(HKEY_CURRENT_USER, kParent, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent, nullptr),
             LONG(ERROR_SUCCESS));
    ::RegCloseKey(parent);
    PortWatcher watcher(testRoots());
    QCOMPARE(watcher.watchedKey(), QStringLiteral("HKEY_CURRENT_USER\\") + QLatin1String(kParent));
    QSignalSpy changed(&watcher, &PortWatcher::portsChanged);
    setPort("\\Device\\Serial1", "COM2");
    QTRY_VERIFY_WITH_TIMEOUT(changed.size() >= 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(watcher.watchedKey(), QStringLiteral("HKEY_CURRENT_USER\\") + QLatin1String(kKey), 10000);
    QCOMPARE(names(PortDirectory(testRoots()).entries()), QStringList{"COM2"});
}

QTEST_MAIN(TestPortWatcher)
#include "test_portwatcher.moc"
