// The output queue's account of every byte it takes: on the line or reported as
// dropped, once, when the system refuses, holds or cannot count what it holds.
// A scripted device plays the system, so each case is exact and takes no time.

#include "customcomm.h"
#include "outputqueue.h"
#include "scriptedoutputdevice.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <algorithm>

using commport::CommErrorKind;
using commport::kWriteTimeout;
using commport::OutputQueue;
using qldixw::testing::ScriptedOutputDevice;

class TestOutputQueue : public QObject {
    Q_OBJECT
private slots:
    void everyByteOnTheLineOrReported_data();
    void everyByteOnTheLineOrReported();
};

void TestOutputQueue::everyByteOnTheLineOrReported_data()
{
    // Steps: capN (the system's buffer holds N bytes), nocount (it says 0 whatever it
    // holds, as a pseudo-terminal does), wN:R (write N bytes, R the result: All,
    // Watched, Kept, Dropped), fail / ok (the system refuses every write, or takes
    // them again), tN (N ms pass), s (the event thread serves the queue), txN (the
    // system puts N held bytes on the line). Each case then ends as the event thread
    // ends every stall: the time-out passes, the queue is served, and the device reads
    // whatever the system still holds. Dropped counts what Write refused at once too, as
    // the component reports that as well.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("onLine");
    QTest::addColumn<int>("dropped");

    // A write the system holds, a second it has no room for, then a refusal: the held
    // write goes at its deadline, both are reported.
    QTest::newRow("refused behind a held write") << "cap16 w16:W w25:K fail t1 s" << 0 << 41;
    QTest::newRow("refused in the middle of a write") << "cap10 w16:K fail t1 s" << 0 << 16;
    QTest::newRow("refused, then taken again") << "cap0 w20:K fail t1 s ok cap99 w5:W tx5" << 5 << 20;
    // What a system that keeps no count took is on the line; emptying its buffer at
    // the later write's deadline would lose it unreported.
    QTest::newRow("no count, held write, stalled next") << "nocount cap16 w16:A w25:K" << 16 << 25;
    QTest::newRow("no count, stalled from the start") << "nocount cap0 w30:K" << 0 << 30;
    // A system that counts gives back at the deadline what it still holds.
    QTest::newRow("counted, partly sent") << "cap30 w20:W w20:K tx5" << 5 << 35;
    QTest::newRow("counted, later write keeps its time")
        << "cap8 w10:K t1000 w6:K t600 s tx99" << 6 << 10;
    // A write over the bound is reported at once, by the component.
    QTest::newRow("over the bound") << "cap0 w60:K w5:D w4:K" << 0 << 69;
}

void TestOutputQueue::everyByteOnTheLineOrReported()
{
    QFETCH(QString, steps);
    QFETCH(int, onLine);
    QFETCH(int, dropped);

    ScriptedOutputDevice device;
    OutputQueue queue(64, kWriteTimeout);
    auto now = OutputQueue::Clock::time_point{} + std::chrono::hours(1);
    std::size_t offered = 0;
    std::size_t reported = 0;
    char next = 'a';
    auto serve = [&] {
        const OutputQueue::Serviced served = queue.Service(device, now);
        QVERIFY(served.state != OutputQueue::Serviced::State::DeviceGone);
        reported += served.dropped;
    };

    for (const QString& step : steps.split(u' ')) {
        const QString arg = step.mid(step.indexOf(QRegularExpression(QStringLiteral("[0-9]"))));
        if (step.startsWith("cap")) {
            device.capacity = arg.toUInt();
        } else if (step == "nocount") {
            device.countsOutput = false;
        } else if (step.startsWith("w")) {
            const QStringList parts = arg.split(u':');
            const std::string bytes(parts[0].toUInt(), next++);
            const OutputQueue::Sent sent = queue.Write(device, bytes.data(), bytes.size(), now);
            static const char* const names[] = {"All", "Watched", "Kept", "Dropped", "Failed", "Gone"};
            QVERIFY(QString::fromLatin1(names[int(sent)]).startsWith(parts[1]));
            offered += bytes.size();
            if (sent == OutputQueue::Sent::Dropped)
                reported += bytes.size();
        } else if (step == "fail" || step == "ok") {
            device.failure = step == "fail" ? CommErrorKind::Other : CommErrorKind::None;
        } else if (step.startsWith("tx")) {
            device.transmit(arg.toUInt());
        } else if (step.startsWith("t")) {
            now += std::chrono::milliseconds(arg.toInt());
        } else if (step == "s") {
            serve();
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
    now += kWriteTimeout;
    serve();
    QCOMPARE(queue.Pending(), std::size_t(0));
    device.transmit(device.held.size());

    QCOMPARE(int(device.line.size()), onLine);
    QCOMPARE(int(reported), dropped);
    QCOMPARE(device.line.size() + reported, offered);
    QVERIFY(std::is_sorted(device.line.begin(), device.line.end()));
}

QTEST_GUILESS_MAIN(TestOutputQueue)
#include "test_outputqueue.moc"
