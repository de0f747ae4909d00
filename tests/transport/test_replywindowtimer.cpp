// The reply window's clock: what ends a window and what must not.

#include "replywindowtimer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <thread>

using transport::ReplyWindowTimer;
using Clock = transport::ReplyWindowTimer::Clock;

Q_DECLARE_METATYPE(transport::ReplyWindowTimer::Clock)

class TestReplyWindowTimer : public QObject {
    Q_OBJECT
private slots:
    void endsOnceAndCloses_data();
    void endsOnceAndCloses();
    void expiryCountedBeforeStopIsForgotten_data();
    void expiryCountedBeforeStopIsForgotten();
    void neverEndsEarly_data();
    void neverEndsEarly();
};

namespace {
// The system's clock and the stand-in used where the system refuses one.
void bothClocks()
{
    QTest::addColumn<Clock>("clock");
    QTest::newRow("system") << Clock::System;
    QTest::newRow("Qt timer") << Clock::QtTimer;
}
} // namespace

void TestReplyWindowTimer::endsOnceAndCloses_data()
{
    QTest::addColumn<Clock>("clock");
    QTest::addColumn<int>("interval");
    for (const auto& [name, clock] : {std::pair{"system", Clock::System}, std::pair{"Qt timer", Clock::QtTimer}}) {
        QTest::addRow("%s, zero", name) << clock << 0;
        QTest::addRow("%s, short", name) << clock << 5;
    }
}

void TestReplyWindowTimer::endsOnceAndCloses()
{
    QFETCH(Clock, clock);
    QFETCH(int, interval);
    ReplyWindowTimer timer(nullptr, clock);
    QSignalSpy ended(&timer, &ReplyWindowTimer::timeout);
    timer.setInterval(interval);
    QVERIFY(!timer.isActive()); // a length alone opens nothing
    timer.start();
    QVERIFY(timer.isActive());
    QVERIFY(ended.wait(2000));
    QVERIFY(!timer.isActive());
    // One window, one end: nothing fires again without a new start.
    QTest::qWait(30);
    QCOMPARE(ended.size(), 1);
}

void TestReplyWindowTimer::expiryCountedBeforeStopIsForgotten_data() { bothClocks(); }

void TestReplyWindowTimer::expiryCountedBeforeStopIsForgotten()
{
    // The window ran out while the GUI thread was busy, then the window was closed
    // by hand: the stale expiry must not end the next window early.
    QFETCH(Clock, clock);
    ReplyWindowTimer timer(nullptr, clock);
    QSignalSpy ended(&timer, &ReplyWindowTimer::timeout);
    timer.setInterval(1);
    timer.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    timer.stop();
    timer.setInterval(400);
    QElapsedTimer elapsed;
    elapsed.start();
    timer.start();
    QVERIFY(timer.isActive());
    // A stale expiry would end it at once; a busy machine can only make it later.
    QVERIFY(ended.wait(10000));
    QVERIFY2(elapsed.elapsed() >= 399, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(ended.size(), 1);
}

void TestReplyWindowTimer::neverEndsEarly_data() { bothClocks(); }

// A window cut short takes a reply still on its way for no reply at all. Qt's own timers
// count whole milliseconds and fire up to some early on Windows and under Wine; a load
// can only make a window later.
void TestReplyWindowTimer::neverEndsEarly()
{
    QFETCH(Clock, clock);
    ReplyWindowTimer timer(nullptr, clock);
    QSignalSpy ended(&timer, &ReplyWindowTimer::timeout);
    for (const int interval : {1, 2, 3, 7, 16, 25}) {
        for (int run = 0; run < 10; ++run) {
            timer.setInterval(interval);
            const auto opened = std::chrono::steady_clock::now();
            timer.start();
            QVERIFY(ended.wait(10000));
            const auto lasted = std::chrono::steady_clock::now() - opened;
            QVERIFY2(lasted >= std::chrono::milliseconds(interval),
                     qPrintable(QStringLiteral("%1 ms window ended after %2 us on the %3")
                                    .arg(interval)
                                    .arg(std::chrono::duration_cast<std::chrono::microseconds>(lasted).count())
                                    .arg(timer.clockName())));
            ended.clear();
        }
    }
}

QTEST_MAIN(TestReplyWindowTimer)
#include "test_replywindowtimer.moc"
