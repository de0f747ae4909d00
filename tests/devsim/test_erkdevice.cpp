#include "devicescript.h"
#include "erkdevice.h"

#include <QTest>

using namespace devsim;

class TestErkDevice : public QObject {
    Q_OBJECT
private slots:
    void conversation_data();
    void conversation();
    void refusingWrites();
};

// Readings are a code, six characters and the checksum: "220.51" is 32 32 30 2E 35 31.
void TestErkDevice::conversation_data()
{
    QTest::addColumn<QStringList>("script");

    QTest::newRow("voltage") << QStringList{"> 60 01 91 *", "< 91 32 32 30 2E 35 31 *"};
    QTest::newRow("current") << QStringList{"> 60 01 A2 *", "< A2 20 34 2E 38 37 30 *"};
    QTest::newRow("power") << QStringList{"> 60 01 81 *", "< 81 20 20 31 31 32 39 *"};
    QTest::newRow("settings as they start") << QStringList{
        "> 60 01 35 *", "< 00 64 *", "> 60 01 05 *", "< 00 AF *", "> 60 01 15 *", "< 00 FD *",
        "> 60 01 25 *", "< 00 64 *", "> 60 01 57 *", "< 00 0A *"};
    QTest::newRow("voltage correction changes the reading") << QStringList{
        "> 60 01 31 * 00 78 *", "< 00", "> 60 01 35 *", "< 00 78 *", "> 60 01 91 *", "< 91 32 36 34 2E 36 31 *",
        "> 60 01 92 *", "< 92 32 32 31 2E 33 30 *"};
    QTest::newRow("current correction changes current and power") << QStringList{
        "> 60 01 21 * 00 C8 *", "< 00", "> 60 01 A1 *", "< A1 31 30 2E 32 34 30 *", "> 60 01 81 *", "< 81 20 20 32 32 35 38 *"};
    QTest::newRow("crossing limits refused") << QStringList{
        "> 60 01 01 * 01 2C *", "< FF", "> 60 01 11 * 01 90 *", "< 00", "> 60 01 01 * 01 2C *", "< 00",
        "> 60 01 05 *", "< 01 2C *", "> 60 01 11 * 00 64 *", "< FF"};
    QTest::newRow("phases are separate") << QStringList{"> 60 01 53 * 00 20 *", "< 00", "> 60 01 55 *", "< 00 0A *", "> 60 01 57 *", "< 00 20 *"};
    QTest::newRow("indication") << QStringList{"> 60 01 71 * 05 *", "< 00"};
    QTest::newRow("address read at F0") << QStringList{"> 60 F0 45 *", "< 45 01 *"};
    QTest::newRow("address change") << QStringList{
        "> 60 01 41 * 22 *", "< 00", "> 60 01 91 *", "-", "> 60 22 91 *", "< 91 32 32 30 2E 35 31 *", "> 60 F0 45 *", "< 45 22 *"};
    QTest::newRow("address out of range") << QStringList{"> 60 01 41 * 80 *", "< FF", "> 60 01 41 * 00 *", "< FF", "> 60 F0 45 *", "< 45 01 *"};
    QTest::newRow("other address") << QStringList{"> 60 02 91 *", "> 60 02 31 * 00 10 *", "> 60 F0 91 *", "-", "> 60 01 35 *", "< 00 64 *"};
    QTest::newRow("unknown codes") << QStringList{"> 60 01 99 *", "> 60 01 84 *", "> 60 01 08 *", "-", "> 60 01 91 *", "< 91 32 32 30 2E 35 31 *"};
    QTest::newRow("bad checksums") << QStringList{"> 60 01 91 00", "> 60 01 31 * 00 78 00", "-", "> 60 01 35 *", "< 00 64 *"};
}

void TestErkDevice::conversation()
{
    QFETCH(QStringList, script);
    for (int chunk : {0, 1, 4}) {
        ErkDevice device;
        const QString failure = runScript(device, script, chunk);
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("chunk %1: %2").arg(chunk).arg(failure)));
    }
}

// A meter told to refuse writes answers FF to each and keeps what it had.
void TestErkDevice::refusingWrites()
{
    ErkDevice device(0x01, true);
    const QString failure = runScript(device, {"> 60 01 31 * 00 78 *", "< FF", "> 60 01 71 * 05 *", "< FF",
                                               "> 60 01 41 * 22 *", "< FF", "> 60 01 35 *", "< 00 64 *",
                                               "> 60 F0 45 *", "< 45 01 *"}, 0);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(device.indicationMask(), 0);
}

QTEST_APPLESS_MAIN(TestErkDevice)
#include "test_erkdevice.moc"
