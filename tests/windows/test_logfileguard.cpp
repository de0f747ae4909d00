// The log files' guard in Windows terms: a name that reaches a device (CON, NUL, COM1 in
// any folder and with any extension, anything in the device namespace) is refused before
// anything opens it, for loading and for saving; a file is read and written as on Linux.
// Under Wine COM1 leads nowhere (the run removed the prefix's link to the machine's port),
// so a guard that let the name through would fail to open it, never reach the port.

#include "logfileio.h"
#include "logstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ui;

class TestLogFileGuard : public QObject {
    Q_OBJECT
private slots:
    void deviceNamesRefused_data();
    void deviceNamesRefused();
    void filesReadAndWritten();
};

void TestLogFileGuard::deviceNamesRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("special");
    const int device = int(SpecialFile::Device), pipe = int(SpecialFile::Pipe);
    QTest::newRow("CON") << "CON" << device;
    QTest::newRow("nul with an extension") << "nul.LogDIXW" << device;
    QTest::newRow("COM1 in a folder") << "%1/COM1.LogDIXW" << device;
    QTest::newRow("com9 with a colon") << "%1/com9:" << device;
    QTest::newRow("LPT1 and blanks") << "%1/LPT1 .txt" << device;
    QTest::newRow("superscript digit") << QString::fromUtf8("%1/COM\u00B9.log") << device;
    QTest::newRow("AUX, forward slashes") << "%1/sub/aux" << device;
    QTest::newRow("a port by its device path") << "\\\\.\\COM1" << device;
    QTest::newRow("a high port by its device path") << "\\\\.\\COM12" << device;
    QTest::newRow("a pipe") << "\\\\.\\pipe\\qldixw-test" << pipe;
    QTest::newRow("the other device prefix") << "\\\\?\\GLOBALROOT\\Device\\Null" << device;
}

void TestLogFileGuard::deviceNamesRefused()
{
    QFETCH(QString, name);
    QFETCH(int, special);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = name.contains(u"%1") ? name.arg(dir.path()) : name;

    ui::LogStore lines;
    const LogRead read = readLogFile(path, lines, {});
    QCOMPARE(int(read.outcome), int(FileOutcome::NotAFile));
    QCOMPARE(int(read.special), special);

    ui::LogStore some;
    some.append(QStringLiteral("PC-> 60 01 81 FB"));
    const LogWrite written = writeLogFile(path, some, {});
    QCOMPARE(int(written.outcome), int(FileOutcome::NotAFile));
    QCOMPARE(int(written.special), special);
    // Nothing was made in the folder either.
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestLogFileGuard::filesReadAndWritten()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Names that merely contain a device name are files.
    for (const QString& name : {QStringLiteral("console.LogDIXW"), QStringLiteral("COM10x.LogDIXW"),
                                QStringLiteral("журнал COM1 вечер.LogDIXW")}) {
        const QString path = dir.filePath(name);
        ui::LogStore lines;
        lines.append(QStringLiteral("PC-> 12:00:00.000  60 01 81 FB"));
        lines.append(QStringLiteral("Порт COM1 открыт"));
        const LogWrite written = writeLogFile(path, lines, {});
        QCOMPARE(int(written.outcome), int(FileOutcome::Done));
        ui::LogStore back;
        const LogRead read = readLogFile(path, back, {});
        QCOMPARE(int(read.outcome), int(FileOutcome::Done));
        QCOMPARE(back.lineCount(), 2);
        QCOMPARE(back.line(1), QStringLiteral("Порт COM1 открыт"));
        // The long-name form of the same file is a file too.
        ui::LogStore again;
        const LogRead longName = readLogFile(QStringLiteral("\\\\?\\") + QDir::toNativeSeparators(path), again, {});
        QCOMPARE(int(longName.outcome), int(FileOutcome::Done));
    }
    // A folder is no file, and says so in the folder's words.
    ui::LogStore lines;
    const LogRead folder = readLogFile(dir.path(), lines, {});
    QCOMPARE(int(folder.outcome), int(FileOutcome::Failed));
    QCOMPARE(fileFailureReason(folder.errorCode), QStringLiteral("Это имя папки, а не файла."));
    const LogRead missing = readLogFile(dir.filePath(QStringLiteral("нет.LogDIXW")), lines, {});
    QCOMPARE(int(missing.outcome), int(FileOutcome::Failed));
    QCOMPARE(fileFailureReason(missing.errorCode), QStringLiteral("Такого файла или папки нет."));
}

QTEST_MAIN(TestLogFileGuard)
#include "test_logfileguard.moc"
