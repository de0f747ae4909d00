// The capture file on its own: what is written reads back the same, keys and kinds a
// later format may add are skipped, and a text this format cannot mean is refused with
// the line at fault and nothing half-read.

#include "backgroundread.h"
#include "capturefile.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

using linecapture::readCapture;

class TestCaptureFile : public QObject {
    Q_OBJECT
private slots:
    void readsBack_data();
    void readsBack();
    void refused_data();
    void refused();
    void readInPieces();
    void readBesideTheWindow();
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
    QTest::newRow("bytes written together, a byte order mark, CR LF")
        << QByteArray("\xEF\xBB\xBF") + kHead.chopped(1) + "\r\nstart 2025-05-01T12:03:04.000000Z\r\n1.000000 A 600181fb\r\n"
        << header("2025-05-01T12:03:04.000000+00:00") + "1.000000 A 60 01 81 FB\n" << 0;
    // Each tap's chunks are stamped on a thread of its own: a moment's disorder is read.
    QTest::newRow("the taps a moment apart")
        << header("2025-05-01T12:03:04.000000+00:00") + "1.000000 A 60\n0.950000 B 01\n1.000001 A 02\n" << QByteArray() << 0;
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
    QTest::newRow("hex of odd length") << kHead + "1.000000 A 60 01\n1.000000 A 600181F\n" << 3;
    QTest::newRow("one hex digit") << kHead + "1.000000 A 6\n" << 2;
    QTest::newRow("a byte that is no hex") << kHead + "1.000000 A 60 0G\n" << 2;
    QTest::newRow("times that run backwards") << kHead + "5.000000 A 60\n# note\n4.000000 B 01\n" << 4;
    QTest::newRow("times that run backwards, by an event") << kHead + "5.000000 A 60\n4.800000 A note x\n" << 3;
    QTest::newRow("a header after the records") << kHead + "1.000000 A 60\nprotocol ql\n" << 3;
    QTest::newRow("another format") << QByteArray("QLDIXw capture 2\n1.000000 A 60\n") << 1;
    QTest::newRow("a line too long") << kHead + "1.000000 A " + QByteArray(linecapture::kLongestLine, '0') + '\n' << 2;
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

// Read a piece at a time, a file gives the records, lines and refusals it gives read
// whole, wherever its pieces end.
void TestCaptureFile::readInPieces()
{
    QByteArray text = header("2025-05-01T12:03:04.000000+00:00");
    for (int i = 0; i < 300; ++i)
        text += QByteArray::number(i) + ".000000 A 60 01 81 FB\n" + QByteArray::number(i) + ".030000 B 01 81 00 12 34 56 07 C8\n";
    const QByteArray refused = text + "301.000000 A 6\n";
    for (const QByteArray& file : {text, text.chopped(1), refused}) {
        const linecapture::CaptureReading whole = readCapture(file);
        for (const qint64 piece : {1, 7, 64, 4096}) {
            QBuffer device;
            device.setData(file);
            QVERIFY(device.open(QIODevice::ReadOnly));
            linecapture::Capture records;
            std::vector<int> lines;
            qint64 lastRead = 0;
            const linecapture::CaptureStreamReading read = linecapture::readCaptureStream(
                device,
                [&](const linecapture::CaptureReader& reader) {
                    const linecapture::CaptureRecord& record = *reader.record();
                    QCOMPARE(record.index, records.size());
                    records.appendBytes(record.timeUs, record.side, record.bytes);
                    lines.push_back(reader.lineNumber());
                },
                [&](qint64 bytesRead) {
                    lastRead = bytesRead;
                    return true;
                },
                piece);
            QCOMPARE(read.error, whole.error);
            QCOMPARE(read.errorLine, whole.errorLine);
            if (!whole.error.isEmpty())
                continue;
            QCOMPARE(lastRead, qint64(file.size()));
            QCOMPARE(lines, whole.recordLines);
            records.startUtcUs = read.header.startUtcUs;
            records.utcOffsetSeconds = read.header.utcOffsetSeconds;
            records.protocol = read.header.protocol;
            records.gapCharacters = read.header.gapCharacters;
            QCOMPARE(linecapture::captureText(records), linecapture::captureText(whole.capture));
        }
    }
}

// A reading on its own thread: what it made is there once it says it has ended; asked to
// stop, it ends without saying so and nothing of it is left running.
void TestCaptureFile::readBesideTheWindow()
{
    QByteArray text = header("2025-05-01T12:03:04.000000+00:00");
    for (int i = 0; i < 20'000; ++i)
        text += QByteArray::number(i) + ".000000 A 60 01 81 FB\n";
    std::size_t records = 0;
    qint64 reported = 0;
    linecapture::BackgroundRead read([&](linecapture::ReadProgress& progress) {
        QBuffer device(&text);
        device.open(QIODevice::ReadOnly);
        linecapture::readCaptureStream(
            device, [&](const linecapture::CaptureReader&) { ++records; },
            [&](qint64 bytes) { return progress.report(bytes, text.size()); }, 4096);
        reported = progress.done();
    });
    QSignalSpy finished(&read, &linecapture::BackgroundRead::finished);
    QVERIFY(finished.wait(60'000));
    QVERIFY(!read.running());
    QCOMPARE(records, std::size_t(20'000));
    QCOMPARE(reported, qint64(text.size()));
    QCOMPARE(read.progress().percent(), 100);

    std::atomic<bool> started = false;
    auto endless = std::make_unique<linecapture::BackgroundRead>([&](linecapture::ReadProgress& progress) {
        started = true;
        while (progress.report(0, 1))
            std::this_thread::yield();
    });
    QSignalSpy ended(endless.get(), &linecapture::BackgroundRead::finished);
    QTRY_VERIFY_WITH_TIMEOUT(started, 10'000);
    endless.reset();
    QCoreApplication::processEvents();
    QCOMPARE(ended.size(), 0);
}

QTEST_GUILESS_MAIN(TestCaptureFile)

#include "test_capturefile.moc"
