// The capture file on its own: what is written reads back the same, keys and kinds a
// later format may add are skipped, and a text this format cannot mean is refused with
// the line at fault and nothing half-read.

#include "capturefile.h"

#include <QTest>

using linecapture::readCapture;

class TestCaptureFile : public QObject {
    Q_OBJECT
private slots:
    void readsBack_data();
    void readsBack();
    void refused_data();
    void refused();
};

namespace {

const QByteArray kHead = QByteArray(linecapture::kCaptureMagic) + '\n';

QByteArray header(const QByteArray& start, const QByteArray& protocol = "dix", const QByteArray& gap = "3.5")
{
    return kHead + "# A line monitor's capture: each tap's chunks with their times. See capturefile.h.\nstart " + start
        + "\nprotocol " + protocol + "\ngap " + gap + '\n';
}

} // namespace

void TestCaptureFile::readsBack_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("written"); // empty: the text itself
    QTest::addColumn<int>("skipped");
    QTest::newRow("every kind of record")
        << header("2025-05-01T12:03:04.123456+03:00", "erk", "7.5")
               + "0.000000 A opened COM7\n0.000000 A settings 4800 8N2\n1.234567 A 60 01 91 DB\n"
                 "1.300000 B 91 32 32 30 2E 35 31 39\n5.000000 B overrun\n5.000001 B line-error чётность\n"
                 "9.100000 A closed остановлено\n9.100000 A note Устройство COM7 отключено\n"
        << QByteArray() << 0;
    QTest::newRow("west of UTC, before 2000")
        << header("1999-12-31T23:59:59.000001-05:30", "none", "1000") + "0.000001 B 00\n" << QByteArray() << 0;
    QTest::newRow("what a later format may add is skipped")
        << kHead + "start 2025-05-01T12:03:04.000000Z\nprotocol ql\nchecksum crc16\n\n# a comment\n1.000000 A 60\n"
                   "1.000001 A pause 5\n"
        << header("2025-05-01T12:03:04.000000+00:00", "ql") + "1.000000 A 60\n" << 2;
}

void TestCaptureFile::readsBack()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, written);
    QFETCH(int, skipped);
    const linecapture::CaptureReading reading = readCapture(text);
    QVERIFY2(reading.error.isEmpty(), qPrintable(QStringLiteral("%1: %2").arg(reading.errorLine).arg(reading.error)));
    QCOMPARE(reading.skippedLines, skipped);
    QCOMPARE(linecapture::captureText(reading.capture), written.isEmpty() ? text : written);
}

void TestCaptureFile::refused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::newRow("not a capture") << QByteArray("60 01 81 FB\n") << 1;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("time without six decimals") << kHead + "1.5 A 60\n" << 2;
    QTest::newRow("a side that is neither") << kHead + "# comment\n1.000000 A 60\n1.000000 C 60\n" << 4;
    QTest::newRow("half a byte") << kHead + "1.000000 A 60 0\n" << 2;
    QTest::newRow("start time") << kHead + "start yesterday\n" << 2;
    QTest::newRow("protocol") << kHead + "protocol modbus\n" << 2;
    QTest::newRow("gap") << kHead + "gap -1\n" << 2;
}

void TestCaptureFile::refused()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    const linecapture::CaptureReading reading = readCapture(text);
    QVERIFY(!reading.error.isEmpty());
    QCOMPARE(reading.errorLine, line);
    QVERIFY(reading.capture.empty());
}

QTEST_GUILESS_MAIN(TestCaptureFile)

#include "test_capturefile.moc"
