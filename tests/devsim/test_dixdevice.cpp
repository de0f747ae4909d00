#include "bcd.h"
#include "devicescript.h"
#include "dixdevice.h"
#include "framing.h"

#include <QStringDecoder>
#include <QTest>

using namespace devsim;

namespace {
const QString kActivate = QStringLiteral("> 60 01 11 * 01 13 55 55 55 55 55*");
const QString kDone = QStringLiteral("< 00");
const QString kRejected = QStringLiteral("< FF");
const QString kStatus = QStringLiteral("> 60 01 81 *");
const QString kIdle = QStringLiteral("< 01 81 00 00 00 00 00 *");
const QString kTotalisers = QStringLiteral("> 60 01 71 *");
const QString kNoTotals = QStringLiteral("< 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 *");
} // namespace

class TestDixDevice : public QObject {
    Q_OBJECT
private slots:
    void replyChecksums_data();
    void replyChecksums();
    void bcd_data();
    void bcd();
    void conversation_data();
    void conversation();
    void versionExchange();
};

void TestDixDevice::replyChecksums_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("good");
    QTest::newRow("status") << QByteArray::fromHex("01810012345607C8") << true;
    QTest::newRow("price") << QByteArray::fromHex("0159004567000046") << true;
    QTest::newRow("totalisers") << QByteArray::fromHex("0100012345670012345600987654002C") << true;
    QTest::newRow("wrong last byte") << QByteArray::fromHex("60018100") << false;
    QTest::newRow("one byte") << QByteArray::fromHex("FF") << false;
}

void TestDixDevice::replyChecksums()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, good);
    QCOMPARE(checksumOk(frame), good);
    if (good)
        QCOMPARE(closeFrame(frame.chopped(1)), frame);
}

void TestDixDevice::bcd_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("value"); // -1: not BCD
    QTest::newRow("litres") << QByteArray::fromHex("00001234") << qint64(1234);
    QTest::newRow("all nines") << QByteArray::fromHex("9999") << qint64(9999);
    QTest::newRow("ten digits") << QByteArray::fromHex("1234567890") << qint64(1234567890);
    QTest::newRow("high half A") << QByteArray::fromHex("A0") << qint64(-1);
    QTest::newRow("low half F") << QByteArray::fromHex("0F") << qint64(-1);
}

void TestDixDevice::bcd()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, value);
    const auto decoded = bcdToNumber(bytes);
    if (value < 0) {
        QVERIFY(!decoded);
        return;
    }
    QCOMPARE(qint64(decoded.value()), value);
    QCOMPARE(numberToBcd(std::uint64_t(value), int(bytes.size())), bytes);
    // Only the lowest digits fit: a totaliser wraps instead of spilling over.
    QCOMPARE(numberToBcd(std::uint64_t(value) + 1'000'000'000'000ULL, int(bytes.size())), bytes);
}

void TestDixDevice::conversation_data()
{
    QTest::addColumn<int>("address"); // 0: every address
    QTest::addColumn<double>("flow");
    QTest::addColumn<QStringList>("script");

    QTest::newRow("idle status") << 0 << 0.0 << QStringList{kStatus, kIdle};
    QTest::newRow("status at 7F hose 7") << 0 << 0.0 << QStringList{"> 60 7F 87 *", "< 7F 87 00 00 00 00 00 *"};
    QTest::newRow("activate") << 0 << 0.0 << QStringList{kActivate, kDone, kStatus, "< 01 81 00 00 00 00 01 *"};
    QTest::newRow("passivate") << 0 << 0.0
        << QStringList{kActivate, kDone, "> 60 01 11 * 01 03 55 55 55 55 55*", kDone, kStatus, kIdle};
    QTest::newRow("valve flag") << 0 << 0.0
        << QStringList{kActivate, kDone, "> 60 01 11 * 01 02 55 55 55 55 55*", kDone, kStatus, "< 01 81 00 00 00 00 11 *",
                       "> 60 01 11 * 01 0D 55 55 55 55 55*", kDone, kStatus, "< 01 81 00 00 00 00 01 *"};
    QTest::newRow("dispense needs activation") << 0 << 0.0
        << QStringList{"> 60 01 11 * 01 01 00 00 00 12 34 *", kRejected, kTotalisers, kNoTotals};
    QTest::newRow("dispense by volume") << 0 << 0.0
        << QStringList{kActivate, kDone, "> 60 01 11 * 01 01 00 00 00 12 34 *", kDone,
                       kStatus, "< 01 81 00 00 12 34 04 *",
                       kTotalisers, "< 01 00 00 00 12 34 00 00 12 34 00 05 63 57 00 *"};
    QTest::newRow("dispense by money") << 0 << 0.0
        << QStringList{kActivate, kDone, "> 60 01 11 * 01 11 00 00 01 50 00 *", kDone,
                       kStatus, "< 01 81 00 00 03 28 04 *",
                       kTotalisers, "< 01 00 00 00 03 28 00 00 03 28 00 01 50 00 00 *"};
    QTest::newRow("each order needs its activation") << 0 << 0.0
        << QStringList{kActivate, kDone, "> 60 01 11 * 01 01 00 00 00 01 00 *", kDone,
                       "> 60 01 11 * 01 01 00 00 00 01 00 *", kRejected};
    QTest::newRow("hoses keep their own totals") << 0 << 0.0
        << QStringList{"> 60 01 12 * 02 13 55 55 55 55 55*", kDone, "> 60 01 12 * 02 01 00 00 00 01 00 *", kDone,
                       "> 60 01 72 *", "< 01 00 00 00 01 00 00 00 01 00 00 00 48 90 00 *", kTotalisers, kNoTotals};
    QTest::newRow("reset clears the totalisers") << 0 << 0.0
        << QStringList{kActivate, kDone, "> 60 01 11 * 01 01 00 00 00 01 00 *", kDone,
                       "> 60 01 79 *", kDone, kTotalisers, kNoTotals};
    QTest::newRow("write and read price") << 0 << 0.0
        << QStringList{"> 60 01 51 * 01 00 00 12 34 00 00 *", kDone, "> 60 01 59 *", "< 01 59 00 12 34 00 00 *"};
    QTest::newRow("price of another hose") << 0 << 0.0
        << QStringList{"> 60 01 53 * 03 00 00 99 99 00 00 *", kDone, "> 60 01 59 *", "< 01 59 00 45 67 00 00 *",
                       "> 60 01 5B *", "< 01 5B 00 99 99 00 00 *"};
    QTest::newRow("money order at price zero") << 0 << 0.0
        << QStringList{"> 60 01 51 * 01 00 00 00 00 00 00 *", kDone, kActivate, kDone,
                       "> 60 01 11 * 01 11 00 00 01 50 00 *", kRejected};
    QTest::newRow("price that is not BCD") << 0 << 0.0
        << QStringList{"> 60 01 51 * 01 00 00 4A 00 00 00 *", kRejected, "> 60 01 59 *", "< 01 59 00 45 67 00 00 *"};
    QTest::newRow("zero volume") << 0 << 0.0
        << QStringList{kActivate, kDone, "> 60 01 11 * 01 01 00 00 00 00 00 *", kRejected};
    QTest::newRow("volume that is not BCD") << 0 << 0.0
        << QStringList{kActivate, kDone, "> 60 01 11 * 01 01 00 00 00 1A 00 *", kRejected};
    QTest::newRow("pause, continue, stop with nothing running") << 0 << 0.0
        << QStringList{"> 60 01 11 * 01 0E 55 55 55 55 55*", kRejected, "> 60 01 11 * 01 0A 55 55 55 55 55*", kRejected,
                       "> 60 01 11 * 01 0B 55 55 55 55 55*", kRejected};
    QTest::newRow("unknown function") << 0 << 0.0 << QStringList{"> 60 01 11 * 01 44 55 55 55 55 55*", kRejected};
    QTest::newRow("data frame of another hose") << 0 << 0.0
        << QStringList{"> 60 01 11 * 02 13 55 55 55 55 55*", kRejected, kStatus, kIdle};
    QTest::newRow("hoses 0 and 8, unknown group") << 0 << 0.0
        << QStringList{"> 60 01 80 *", kRejected, "> 60 01 88 *", kRejected, "> 60 01 58 *", kRejected,
                       "> 60 01 70 *", kRejected, "> 60 01 21 * 01 13 55 55 55 55 55*", kRejected, "> 60 01 31 *", kRejected};
    QTest::newRow("two requests in one piece") << 0 << 0.0
        << QStringList{"> 60 01 81 * 60 01 59 *", kIdle, "< 01 59 00 45 67 00 00 *"};
    QTest::newRow("stray bytes before a request") << 0 << 0.0 << QStringList{"> 00 12 FF 31", kStatus, kIdle};
    QTest::newRow("bad header checksum") << 0 << 0.0 << QStringList{"> 60 01 81 00", "-", kStatus, kIdle};
    QTest::newRow("bad data checksum") << 0 << 0.0
        << QStringList{"> 60 01 11 * 01 13 55 55 55 55 55 00", "-", kStatus, kIdle};
    QTest::newRow("only its own address") << 5 << 0.0
        << QStringList{kActivate, "-", kStatus, "-", "> 60 05 81 *", "< 05 81 00 00 00 00 00 *"};
    QTest::newRow("incomplete frame given up") << 0 << 0.0 << QStringList{"@0", "> 60 01 11 *", "@1000", kStatus, kIdle};
    QTest::newRow("frame completed within the gap") << 0 << 0.0 << QStringList{"@0", "> 60 01", "@100", "> 81 FB", kIdle};
    QTest::newRow("version then another request") << 0 << 0.0
        << QStringList{"> 60 01 00 * 30", "< 06", kStatus, kIdle, "> 31", "-"};
    QTest::newRow("version header without its 30") << 0 << 0.0 << QStringList{"> 60 01 00 * 60 01 81 *", kIdle};
    QTest::newRow("lone 31") << 0 << 0.0 << QStringList{"> 31", "-"};

    QTest::newRow("delivery over time") << 0 << 10.0
        << QStringList{"@0", kActivate, kDone, "> 60 01 11 * 01 01 00 00 00 12 34 *", kDone,
                       "@500", kStatus, "< 01 81 00 00 05 00 02 *", "> 60 01 11 * 01 0E 55 55 55 55 55*", kDone,
                       "@2000", kStatus, "< 01 81 00 00 05 00 03 *", "> 60 01 11 * 01 0A 55 55 55 55 55*", kDone,
                       "@2500", kStatus, "< 01 81 00 00 10 00 02 *",
                       "@2600", "> 60 01 11 * 01 0B 55 55 55 55 55*", kDone, kStatus, "< 01 81 00 00 11 00 05 *",
                       kTotalisers, "< 01 00 00 00 11 00 00 00 11 00 00 05 02 37 00 *"};
    QTest::newRow("money order charged in full") << 0 << 10.0
        << QStringList{"@0", kActivate, kDone, "> 60 01 11 * 01 11 00 00 01 50 00 *", kDone,
                       "@100", kTotalisers, "< 01 00 00 00 01 00 00 00 01 00 00 00 45 67 00 *",
                       "@1000", kStatus, "< 01 81 00 00 03 28 04 *",
                       kTotalisers, "< 01 00 00 00 03 28 00 00 03 28 00 01 50 00 00 *"};
    QTest::newRow("busy hose refuses reset, price and passivation") << 0 << 10.0
        << QStringList{"@0", kActivate, kDone, "> 60 01 11 * 01 01 00 00 00 12 34 *", kDone, "@100",
                       "> 60 01 79 *", kRejected, "> 60 01 51 * 01 00 00 12 34 00 00 *", kRejected,
                       "> 60 01 11 * 01 03 55 55 55 55 55*", kRejected, kActivate, kRejected};
}

void TestDixDevice::conversation()
{
    QFETCH(int, address);
    QFETCH(double, flow);
    QFETCH(QStringList, script);
    // Requests may come whole, byte by byte or in odd pieces: the replies must not change.
    for (int chunk : {0, 1, 3}) {
        DixDevice device(address ? AddressMatch(std::uint8_t(address)) : AddressMatch(), flow);
        const QString failure = runScript(device, script, chunk);
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("chunk %1: %2").arg(chunk).arg(failure)));
    }
}

void TestDixDevice::versionExchange()
{
    DixDevice device;
    QCOMPARE(device.receive(framesOf("60 01 00 * 30"), 0), QList<QByteArray>{QByteArray(1, '\x06')});
    const QList<QByteArray> text = device.receive(QByteArray(1, '\x31'), 600);
    QCOMPARE(text.size(), 1);
    QCOMPARE(text.front(), closeFrame(DixDevice::versionText()));

    const QString decoded = QStringDecoder("IBM866").decode(DixDevice::versionText());
    QVERIFY(decoded.contains(QStringLiteral("Версия")));
    QVERIFY(decoded.contains(QChar(0x2551))); // a box line the console turns into "|"
    QVERIFY(decoded.endsWith(QStringLiteral("\r\n")));
    QCOMPARE(decoded.count(QStringLiteral("\r\n")), decoded.count(u'\n'));

    // The text is given once per version request.
    QVERIFY(device.receive(QByteArray(1, '\x31'), 700).isEmpty());
}

QTEST_APPLESS_MAIN(TestDixDevice)
#include "test_dixdevice.moc"
