// The line monitor without its window: two pseudo-terminal pairs are the taps on a line
// between a station (A) and a device (B), the test plays both sides; and captures read
// from text, which pin down the cutting, the ordering, the decoding and the time shown.
// What each family's decoder says of its frames is tested with the family.

#include "backgroundread.h"
#include "capturefile.h"
#include "capturelines.h"
#include "frametext.h"
#include "linemonitor.h"
#include "monitorlines.h"
#include "ptypair.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>

using monitor::Capture;
using monitor::LineMonitor;
using monitor::Side;
using qldixw::testing::PtyPair;

namespace {

// Frame text ("60 01 81 *") as the bytes it puts on the line.
QByteArray bytesOf(const QString& frameText)
{
    return transport::lineBytesOfText(frameText).value_or(QByteArray());
}

// "A→B 12:03:04.123456  60 01 81 FB  …" → "A→B  60 01 81 FB  …": times vary.
QString withoutTime(QString line)
{
    static const QRegularExpression time(QStringLiteral("^(A→B|B→A) \\d\\d:\\d\\d:\\d\\d\\.\\d{6}  "));
    return line.replace(time, QStringLiteral("\\1  "));
}

// Lines about frames, not about the taps ("! порт … открыт").
QStringList frameLines(const QStringList& lines)
{
    QStringList out;
    for (const QString& line : lines) {
        const QString bare = withoutTime(line);
        if (!bare.mid(5).startsWith(u'!'))
            out << bare;
    }
    return out;
}

// Every line the monitor shows, as a view keeps them.
struct ShownLines {
    QStringList lines;
    void follow(LineMonitor& monitor)
    {
        QObject::connect(&monitor, &LineMonitor::linesAdded, [this](const QStringList& added) { lines << added; });
        QObject::connect(&monitor, &LineMonitor::linesReplaced, [this](const QStringList& all) { lines = all; });
    }
};

std::size_t bytesHeard(const Capture& capture, Side side, int* chunks = nullptr)
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < capture.size(); ++i) {
        const monitor::CaptureRecord r = capture.record(i);
        if (r.side == side && r.kind == monitor::RecordKind::Bytes) {
            bytes += r.bytes.size();
            if (chunks)
                ++*chunks;
        }
    }
    return bytes;
}

// A capture's text from records written as "1.000000 A 60 01 81 *": frame text becomes
// hex bytes with their checksums; a record that starts with a word is kept as it is.
QByteArray captureFrom(const QStringList& records, const QString& start = QStringLiteral("2025-05-01T12:00:00.000000+03:00"))
{
    QByteArray text = QByteArray(monitor::kCaptureMagic) + "\nstart " + start.toLatin1() + '\n';
    for (const QString& record : records) {
        const QStringList parts = record.split(u' ');
        if (parts.size() < 3 || parts[2].size() > 2) {
            text += record.toUtf8() + '\n';
            continue;
        }
        const QByteArray bytes = bytesOf(parts.mid(2).join(u' '));
        text += (parts[0] + u' ' + parts[1]).toLatin1() + transport::byteText(bytes).toLatin1() + '\n';
    }
    return text;
}

QStringList replayed(const Capture& capture)
{
    monitor::MonitorLines view(capture);
    QStringList lines;
    for (std::size_t i = 0; i < capture.size(); ++i)
        view.feed(capture.record(i), lines);
    view.finish(lines);
    return lines;
}

} // namespace

class TestLineMonitor : public QObject {
    Q_OBJECT
private slots:
    void conversation_data();
    void conversation();
    void replay_data();
    void replay();
    void paneLimit_data();
    void paneLimit();
};

void TestLineMonitor::conversation_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("expected");
    // "protocol ql", "gap 1000": before listening; "A <frame text>", "B <frame text>": that
    // side sends, and the test waits until its tap has read it; "shown N": until N frame
    // lines are shown, which a side waits for before its next frame, as a device that
    // answered is waited for; "chunks A N": the tap read side A's bytes in N chunks;
    // "unplug B": side B's device goes; "line <text>": a line without its time is shown.
    QTest::newRow("dispenser status and its reply")
        << QStringList{"A 60 01 81 *", "B 01 81 00 12 34 56 07 *"}
        << QStringList{"A→B  60 01 81 FB  запрос статуса, адрес 01, рукав 1",
                       "B→A  01 81 00 12 34 56 07 C8  статус: данные 12 34 56, состояние 07, CSM верна"};
    QTest::newRow("control request in two frames and its acknowledgement")
        << QStringList{"A 60 01 11 * 01 13 55 55 55 55 55*", "B 00", "shown 2", "A 60 02 5B*", "B 02 5B 00 45 67 00 00 *"}
        << QStringList{"A→B  60 01 11 DA 01 13 55 55 55 55 55 11  активировать, адрес 01, рукав 1",
                       "B→A  00  подтверждение: Успешно",
                       "A→B  60 02 5B 42  считать стоимость 1 литра, адрес 02, рукав 3",
                       "B→A  02 5B 00 45 67 00 00 47  стоимость 1 литра 45,67 р., CSM верна"};
    QTest::newRow("bad checksum shown raw with its reason")
        << QStringList{"A 60 01 81 *", "B 01 81 00 12 34 56 07 C9"}
        << QStringList{"A→B  60 01 81 FB  запрос статуса, адрес 01, рукав 1",
                       "B→A  01 81 00 12 34 56 07 C9  неверная контрольная сумма: C9 вместо C8"};
    QTest::newRow("bytes split across chunks make one frame")
        << QStringList{"gap 1000", "A 60 01", "A 81 FB", "chunks A 2"}
        << QStringList{"A→B  60 01 81 FB  запрос статуса, адрес 01, рукав 1"};
    QTest::newRow("a long gap splits a frame")
        << QStringList{"A 60 01", "shown 1", "A 81 FB"}
        << QStringList{"A→B  60 01  неизвестный кадр: короче заголовка запроса (4 байта)",
                       "A→B  81 FB  неизвестный кадр: запрос начинается с 60"};
    QTest::newRow("a tap whose device goes; the other listens on")
        << QStringList{"A 60 01 81 *", "B 01 81 00 12 34 56 07 *", "shown 2", "unplug B", "line B→A  ! порт закрыт",
                       "A 60 01 71 *", "shown 3"}
        << QStringList{"A→B  60 01 81 FB  запрос статуса, адрес 01, рукав 1",
                       "B→A  01 81 00 12 34 56 07 C8  статус: данные 12 34 56, состояние 07, CSM верна",
                       "A→B  60 01 71 1A  считать суммарники, адрес 01, рукав 1"};
    QTest::newRow("memory read")
        << QStringList{"protocol ql", "A 60 01 00 * C0", "B C0", "shown 2", "A C8 00 00 24 00", "B C8 5A 00"}
        << QStringList{"A→B  60 01 00 F8 C0  доступ к памяти, адрес 01", "B→A  C0  доступ разрешён (C0)",
                       "A→B  C8 00 00 24 00  чтение IR 000024", "B→A  C8 5A 00  IR 000024 = 5A"};
    QTest::newRow("meter voltage")
        << QStringList{"protocol erk", "A 60 01 91*", "B 91 32 32 30 2E 35 31 *"}
        << QStringList{"A→B  60 01 91 DB  чтение V1, адрес 01",
                       "B→A  91 32 32 30 2E 35 31 39  V1 = 220.51 V, CSM верна"};
}

void TestLineMonitor::conversation()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    for (const char* folder : {"sys", "dev", "ports"})
        QDir(dir.path()).mkpath(QString::fromLatin1(folder));
    // Adapters as they come up when plugged: echo and line editing on. The monitor must
    // set its ports up itself, and an echo would show as bytes read on the other end.
    std::array<std::unique_ptr<PtyPair>, 2> taps{std::make_unique<PtyPair>(PtyPair::Start::KernelDefaults),
                                                 std::make_unique<PtyPair>(PtyPair::Start::KernelDefaults)};
    LineMonitor monitor(ports::PortRoots{dir.filePath("sys"), dir.filePath("dev"), dir.filePath("ports")});
    ShownLines shown;
    shown.follow(monitor);

    bool started = false;
    for (const QString& step : script) {
        const QString word = step.section(u' ', 0, 0);
        const QString rest = step.section(u' ', 1);
        if (word == u"protocol") {
            monitor.setProtocol(*monitor::protocolFromToken(rest));
            continue;
        }
        if (word == u"gap") {
            monitor.setGapCharacters(rest.toDouble());
            continue;
        }
        if (!started) {
            QVERIFY(monitor.start(QString::fromStdString(taps[0]->portPath()), QString::fromStdString(taps[1]->portPath())));
            started = true;
        }
        if (word == u"A" || word == u"B") {
            const Side side = word == u"A" ? Side::A : Side::B;
            const QByteArray bytes = bytesOf(rest);
            const std::size_t before = bytesHeard(monitor.capture(), side);
            QVERIFY(taps[std::size_t(monitor::sideIndex(side))]->send(bytes.constData(), std::size_t(bytes.size())));
            QTRY_COMPARE_WITH_TIMEOUT(bytesHeard(monitor.capture(), side), before + std::size_t(bytes.size()), 5000);
        } else if (word == u"shown") {
            QTRY_COMPARE_WITH_TIMEOUT(frameLines(shown.lines).size(), rest.toInt(), 5000);
        } else if (word == u"unplug") {
            taps[rest == u"A" ? 0 : 1]->unplug();
        } else if (word == u"line") {
            QTRY_VERIFY2_WITH_TIMEOUT(std::ranges::any_of(shown.lines, [&](const QString& l) { return withoutTime(l) == rest; }),
                                      qPrintable(rest), 5000);
        } else if (word == u"chunks") {
            int chunks = 0;
            bytesHeard(monitor.capture(), rest.startsWith(u'A') ? Side::A : Side::B, &chunks);
            QCOMPARE(chunks, rest.section(u' ', 1).toInt());
        }
    }
    monitor.stop();
    QCOMPARE(frameLines(shown.lines), expected);

    // Both taps only listen: what reached the far ends would be the monitor's writing.
    for (const auto& tap : taps)
        if (tap->deviceFd() >= 0)
            QCOMPARE(QByteArray::fromStdString(tap->receiveAvailable()).toHex(' '), QByteArray());

    // The capture as a file, read back and shown again: the same lines, times and all.
    const monitor::CaptureReading reading = monitor::readCapture(monitor::captureText(monitor.capture()));
    QVERIFY2(reading.error.isEmpty(), qPrintable(reading.error));
    LineMonitor again(ports::PortRoots{dir.filePath("sys"), dir.filePath("dev"), dir.filePath("ports")});
    ShownLines replayedLines;
    replayedLines.follow(again);
    again.load(reading.capture);
    QCOMPARE(replayedLines.lines, shown.lines);
    QVERIFY(shown.lines.filter(QStringLiteral("! порт %1 открыт").arg(QString::fromStdString(taps[1]->portPath()))).size() == 1);
}

void TestLineMonitor::replay_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("expected");
    // At 4800 bit/s with 8N2 a character takes 2292 us: the gap is 8021 us.
    QTest::newRow("a chunk's own bytes are not silence")
        << QStringList{"protocol dix", "1.000000 A 60 01 81", "1.009000 A FB"}
        << QStringList{"A→B 12:00:01.000000  60 01 81 FB  запрос статуса, адрес 01, рукав 1"};
    QTest::newRow("silence of the gap ends a frame")
        << QStringList{"1.000000 A 60 01 81", "1.011000 A FB"}
        << QStringList{"A→B 12:00:01.000000  60 01 81  неизвестный кадр: короче заголовка запроса (4 байта)",
                       "A→B 12:00:01.011000  FB  неизвестный кадр: запрос начинается с 60"};
    QTest::newRow("an overrun ends a frame and is shown")
        << QStringList{"1.000000 A 60 01", "1.001000 A overrun", "1.002000 A 81 FB"}
        << QStringList{"A→B 12:00:01.000000  60 01  неизвестный кадр: короче заголовка запроса (4 байта)",
                       "A→B 12:00:01.001000  ! байты потеряны: приёмник переполнен (так сообщил драйвер)",
                       "A→B 12:00:01.002000  81 FB  неизвестный кадр: запрос начинается с 60"};
    QTest::newRow("frames in the order they started, replies read after their request")
        << QStringList{"1.000000 A 60 01 79", "1.004000 B 00", "1.002000 A 0A", "2.000000 B 01 71 00 00 *"}
        << QStringList{"A→B 12:00:01.000000  60 01 79 0A  обнулить суммарники, адрес 01, рукав 1",
                       "B→A 12:00:01.004000  00  подтверждение: Успешно",
                       "B→A 12:00:02.000000  01 71 00 00 64  ответ на «обнулить суммарники», 5 байт: такой ответ не описан, CSM верна"};
    QTest::newRow("line settings change the gap")
        << QStringList{"0.000000 A settings 115200 8N1", "1.000000 A 60 01 81 *", "1.000700 A 60 01 81 *"}
        << QStringList{"A→B 12:00:00.000000  ! линия 115200 8N1, конец кадра после 304 мкс тишины",
                       "A→B 12:00:01.000000  60 01 81 FB  запрос статуса, адрес 01, рукав 1",
                       "A→B 12:00:01.000700  60 01 81 FB  запрос статуса, адрес 01, рукав 1"};
    QTest::newRow("local time of the place, past midnight")
        << QStringList{"start 2025-05-01T23:59:59.999999+03:00", "0.000002 A 60 01 81 *", "0.100000 B note Ожидание"}
        << QStringList{"A→B 00:00:00.000001  60 01 81 FB  запрос статуса, адрес 01, рукав 1",
                       "B→A 00:00:00.099999  ! Ожидание"};
}

void TestLineMonitor::replay()
{
    QFETCH(QStringList, records);
    QFETCH(QStringList, expected);
    QString start = QStringLiteral("2025-05-01T12:00:00.000000+03:00");
    QStringList body;
    for (const QString& record : records) {
        if (record.startsWith(QStringLiteral("start ")))
            start = record.mid(6);
        else
            body << record;
    }
    const monitor::CaptureReading reading = monitor::readCapture(captureFrom(body, start));
    QVERIFY2(reading.error.isEmpty(), qPrintable(QStringLiteral("%1: %2").arg(reading.errorLine).arg(reading.error)));
    QCOMPARE(replayed(reading.capture), expected);
    // Written and read again, the capture is the same.
    const QByteArray text = monitor::captureText(reading.capture);
    QCOMPARE(monitor::captureText(monitor::readCapture(text).capture), text);
}

void TestLineMonitor::paneLimit_data()
{
    QTest::addColumn<int>("exchanges");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("protocol"); // -1: the file's
    QTest::newRow("under the limit") << 40 << 100 << -1;
    QTest::newRow("at the limit") << 50 << 100 << -1;
    QTest::newRow("one line over") << 50 << 99 << -1;
    QTest::newRow("many times over, another protocol") << 40'000 << 1000 << int(monitor::Protocol::None);
}

// A capture read from its file for the pane keeps the pane's limit: the last lines, after
// one line that says how many came before, each as a capture held whole shows it.
void TestLineMonitor::paneLimit()
{
    QFETCH(int, exchanges);
    QFETCH(int, limit);
    QFETCH(int, protocol);
    QStringList records{QStringLiteral("0.000000 A opened COM7"), QStringLiteral("0.000000 A settings 4800 8N2")};
    for (int i = 1; i <= exchanges; ++i) {
        records << QStringLiteral("%1.000000 A 60 01 81 *").arg(i);
        records << QStringLiteral("%1.030000 B 01 81 00 12 34 56 07 *").arg(i);
    }
    const QByteArray text = captureFrom(records);
    monitor::CaptureReading whole = monitor::readCapture(text);
    QVERIFY(whole.error.isEmpty());
    if (protocol >= 0)
        whole.capture.protocol = monitor::Protocol(protocol);
    const QStringList all = replayed(whole.capture);

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("poll.qlcap")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    linecapture::ReadProgress progress;
    const monitor::CaptureLines read = monitor::readCaptureLines(
        file.fileName(), protocol >= 0 ? std::optional(monitor::Protocol(protocol)) : std::nullopt, std::nullopt, limit,
        QThread::currentThread(), progress);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.header.protocol, whole.capture.protocol);
    QCOMPARE(progress.done(), qint64(text.size()));
    QStringList expected = all.mid(std::max<qsizetype>(all.size() - limit, 0));
    if (all.size() > limit)
        expected.prepend(monitor::droppedLinesNotice(all.size() - limit, limit));
    QCOMPARE(read.droppedLines, std::max<qint64>(all.size() - limit, 0));
    QCOMPARE(read.lines->lines(), expected);
}

QTEST_GUILESS_MAIN(TestLineMonitor)

#include "test_linemonitor.moc"
