#include "systemportnames.h"
#include "openfailure.h"
#include "portlist.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ports;
using commport::CommErrorKind;

namespace {

QList<PortEntry> entriesNamed(const QStringList& names)
{
    QList<PortEntry> entries;
    for (const QString& name : names)
        entries.append(PortEntry{name, QStringLiteral("/dev/null"), PortKind::Virtual, {}});
    return entries;
}

} // namespace

class TestPortList : public QObject {
    Q_OBJECT
private slots:
    void kernelNamesOnlyAsTheKernelWritesThem();
    void items_data();
    void items();
    void openFailure_data();
    void openFailure();
    void permissionNamesTheDevicesGroup_data();
    void permissionNamesTheDevicesGroup();
};

// A name with a line feed after its number is not the port of that number: two
// ports must never share a COM name (found by fuzzing the naming).
void TestPortList::kernelNamesOnlyAsTheKernelWritesThem()
{
    const QList<ports::PortEntry> named = ports::nameSystemPorts({
        {QStringLiteral("ttyS1"), QStringLiteral("/dev/ttyS1"), ports::PortKind::Uart, {}},
        {QStringLiteral("ttyS1\n"), QStringLiteral("/dev/odd"), ports::PortKind::Other, {}},
    });
    QCOMPARE(named.size(), 2);
    QCOMPARE(named[0].name, QStringLiteral("COM2"));
    QCOMPARE(named[1].name, QStringLiteral("COM3"));
}

void TestPortList::items_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("keepBuiltIn");
    QTest::addColumn<QStringList>("expected");
    const QStringList none;
    QTest::newRow("no ports") << none << true << none;
    QTest::newRow("a single port") << QStringList{"COM3"} << true << none;
    QTest::newRow("10 and more are not listed, order kept")
        << QStringList{"COM4", "COM1", "COM12"} << false << QStringList{"COM4", "COM1"};
    QTest::newRow("only numbers of 10 and more") << QStringList{"COM12", "COM15"} << true << none;
    QTest::newRow("non-numeric rest skipped")
        << QStringList{"COMx", "COM2", "COM3"} << false << QStringList{"COM2", "COM3"};
    QTest::newRow("nothing numeric at all")
        << QStringList{"COMx", "COM", "COM+5", "COM 5", "COM5 ", "COM-1"} << true << none;
    QTest::newRow("edges of the range")
        << QStringList{"COM0", "COM9", "COM10"} << false << QStringList{"COM0", "COM9"};
    QTest::newRow("leading zero is still a number below 10")
        << QStringList{"COM07", "COM2"} << false << QStringList{"COM07", "COM2"};
    QTest::newRow("number too big for any integer")
        << QStringList{"COM99999999999999999999", "COM1"} << false << QStringList{"COM1"};
    QTest::newRow("not a COM name") << QStringList{"ttyS0", "AUX5", "COM6"} << false
                                    << QStringList{"COM6"};
}

void TestPortList::items()
{
    QFETCH(QStringList, names);
    QFETCH(bool, keepBuiltIn);
    QFETCH(QStringList, expected);
    const std::optional<QStringList> items = portListItems(entriesNamed(names));
    QCOMPARE(!items.has_value(), keepBuiltIn);
    if (items)
        QCOMPARE(*items, expected);
}

void TestPortList::openFailure_data()
{
    QTest::addColumn<CommErrorKind>("kind");
    QTest::addColumn<QString>("mentions");  // empty: no line at all
    QTest::newRow("access denied, no device known") << CommErrorKind::AccessDenied << "группу dialout";
    QTest::newRow("busy") << CommErrorKind::Busy << "занят другой программой";
    QTest::newRow("not found") << CommErrorKind::NotFound << "Такого устройства нет";
    QTest::newRow("the kernel's console") << CommErrorKind::SystemConsole << "Порт занят системой: это консоль";
    QTest::newRow("no serial device") << CommErrorKind::NotAPort << "не последовательный порт";
    QTest::newRow("gone adds nothing") << CommErrorKind::Gone << "";
    QTest::newRow("other adds nothing") << CommErrorKind::Other << "";
    QTest::newRow("no error adds nothing") << CommErrorKind::None << "";
}

void TestPortList::openFailure()
{
    QFETCH(CommErrorKind, kind);
    QFETCH(QString, mentions);
    const QString detail = openFailureDetail(kind);
    if (mentions.isEmpty())
        QVERIFY2(detail.isEmpty(), qPrintable(detail));
    else
        QVERIFY2(detail.contains(mentions), qPrintable(detail));
}

void TestPortList::permissionNamesTheDevicesGroup_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("namesGroup");
    QTest::newRow("group may read and write") << 0660 << true;
    QTest::newRow("group may only write, like a pty") << 0620 << false;
}

void TestPortList::permissionNamesTheDevicesGroup()
{
    QFETCH(int, mode);
    QFETCH(bool, namesGroup);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ttyFake"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    // Root may hand the file to dialout; anyone else can only use a group of their own.
    const group* dialout = ::getgrnam("dialout");
    gid_t gid = ::getegid();
    if (dialout && ::chown(QFile::encodeName(path).constData(), uid_t(-1), dialout->gr_gid) == 0)
        gid = dialout->gr_gid;
    if (gid == 0)
        QSKIP("no group other than root to give the file");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    const QString groupName = QString::fromLocal8Bit(::getgrgid(gid)->gr_name);

    const QString detail = openFailureDetail(CommErrorKind::AccessDenied, path);
    QCOMPARE(detail.contains(QStringLiteral("группу ") + groupName), namesGroup);
    QVERIFY(detail.startsWith(QStringLiteral("Нет доступа к порту")));
}

QTEST_GUILESS_MAIN(TestPortList)
#include "test_portlist.moc"
