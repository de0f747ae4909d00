#include "devicescript.h"
#include "qldevice.h"
#include "simoptions.h"

#include <QTest>

using namespace devsim;

namespace {
const QString kPreamble = QStringLiteral("> 60 01 00 * C0");
const QString kAccess = QStringLiteral("< C0");
} // namespace

class TestQlDevice : public QObject {
    Q_OBJECT
private slots:
    void conversation_data();
    void conversation();
};

void TestQlDevice::conversation_data()
{
    QTest::addColumn<QStringList>("options"); // the simulator's command line, after --family ql
    QTest::addColumn<QStringList>("script");

    QTest::newRow("read IR") << QStringList{} << QStringList{kPreamble, kAccess, "> C8 00 00 24 00", "< C8 24 00"};
    QTest::newRow("preamble at 7F") << QStringList{} << QStringList{"> 60 7F 00 * C0", kAccess, "> CC 00 30 00 00", "< CC 00 00"};
    QTest::newRow("write then read back") << QStringList{}
        << QStringList{kPreamble, kAccess, "> C9 00 00 10 05", "< C9 05 00", kPreamble, kAccess, "> C8 00 00 10 00", "< C8 05 00"};
    QTest::newRow("areas are separate") << QStringList{}
        << QStringList{kPreamble, kAccess, "> C5 00 00 10 77", "< C5 77 00", kPreamble, kAccess, "> C8 00 00 10 00", "< C8 10 00",
                       kPreamble, kAccess, "> CC 00 00 10 00", "< CC 10 00", kPreamble, kAccess, "> C4 00 00 10 00", "< C4 77 00"};
    QTest::newRow("ER write locked by IR 24 bit 3") << QStringList{"--er-guard"}
        << QStringList{kPreamble, kAccess, "> CB 01 00 00 AB", "< CB 00 FF",
                       kPreamble, kAccess, "> C9 00 00 24 2C", "< C9 2C 00",
                       kPreamble, kAccess, "> CB 01 00 00 AB", "< CB AB 00",
                       kPreamble, kAccess, "> CA 01 00 00 00", "< CA AB 00"};
    QTest::newRow("ER write without the guard") << QStringList{}
        << QStringList{kPreamble, kAccess, "> CB 01 00 00 AB", "< CB AB 00", kPreamble, kAccess, "> CA 01 00 00 00", "< CA AB 00"};
    QTest::newRow("bytes it is told are bad") << QStringList{"--bad-address", "IR:30", "--bad-address", "ER:010041"}
        << QStringList{kPreamble, kAccess, "> C9 00 00 30 12", "< C9 00 FF", kPreamble, kAccess, "> C8 00 00 30 00", "< C8 00 FF",
                       kPreamble, kAccess, "> CA 01 00 41 00", "< CA 00 FF", kPreamble, kAccess, "> C8 00 00 31 00", "< C8 31 00",
                       kPreamble, kAccess, "> C8 00 00 41 00", "< C8 41 00"};
    QTest::newRow("ends of the areas") << QStringList{}
        << QStringList{kPreamble, kAccess, "> C8 00 FF FF 00", "< C8 FF 00", kPreamble, kAccess, "> C8 01 00 00 00", "< C8 00 FF",
                       kPreamble, kAccess, "> CA 01 FF FF 00", "< CA FF 00", kPreamble, kAccess, "> CA 02 00 00 00", "< CA 00 FF",
                       kPreamble, kAccess, "> CD FF FF FF 12", "< CD 00 FF"};
    QTest::newRow("no request without preamble") << QStringList{} << QStringList{"> C8 00 00 24 00", "-", kPreamble, kAccess};
    QTest::newRow("one request per preamble") << QStringList{}
        << QStringList{kPreamble, kAccess, "> C8 00 00 24 00", "< C8 24 00", "> C8 00 00 24 00", "-"};
    QTest::newRow("new preamble while a request is awaited") << QStringList{}
        << QStringList{kPreamble, kAccess, kPreamble, kAccess, "> C8 00 00 01 00", "< C8 01 00"};
    QTest::newRow("stray byte while a request is awaited") << QStringList{}
        << QStringList{kPreamble, kAccess, "> 00 C8 00 00 02 00", "< C8 02 00"};
    QTest::newRow("bad preamble checksum") << QStringList{} << QStringList{"> 60 01 00 00 C0", "-", kPreamble, kAccess};
    QTest::newRow("preamble without C0") << QStringList{} << QStringList{"> 60 01 00 * C8 00 00 24 00", "-"};
    QTest::newRow("header that is not a preamble") << QStringList{} << QStringList{"> 60 01 81 * C0", "-"};
    QTest::newRow("only its own address") << QStringList{"--address", "03"}
        << QStringList{kPreamble, "-", "> C8 00 00 24 00", "-", "> 60 03 00 * C0", kAccess, "> C8 00 00 24 00", "< C8 24 00"};
    QTest::newRow("request split over time") << QStringList{}
        << QStringList{"@0", kPreamble, kAccess, "@600", "> C8 00", "@650", "> 00 24 00", "< C8 24 00"};
}

void TestQlDevice::conversation()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, script);
    const ParsedOptions parsed = parseOptions(QStringList{"qldixw-devsim", "--family", "ql"} + options);
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    for (int chunk : {0, 1, 2}) {
        const std::unique_ptr<SimDevice> device = makeDevice(parsed.options);
        const QString failure = runScript(*device, script, chunk);
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("chunk %1: %2").arg(chunk).arg(failure)));
    }
}

QTEST_APPLESS_MAIN(TestQlDevice)
#include "test_qldevice.moc"
