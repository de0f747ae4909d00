// The reply window's clock: what ends a window and what must not.

#include "replywindowtimer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <thread>

using transport::ReplyWindowTimer;

class TestReplyWindowTimer : public QObject {
    Q_OBJECT
private slots:
    void endsOnceAndCloses_data();
    void endsOnceAndCloses();
    void expiryCountedBeforeStopIsForgotten();
};

void TestReplyWindowTimer::endsOnceAndCloses_data()
{
    QTest::addColumn<int>("interval");
    QTest::newRow("zero") << 0;
    QTest::newRow("short") << 5;
}

void TestReplyWindowTimer::endsOnceAndCloses()
{
    QFETCH(int, interval);
    ReplyWindowTimer timer;
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

void TestReplyWindowTimer::expiryCountedBeforeStopIsForgotten()
{
    // The window ran out while the GUI thread was busy, then the window was closed
    // by hand: the stale expiry must not end the next window early.
    ReplyWindowTimer timer;
    QSignalSpy ended(&timer, &ReplyWindowTimer::timeout);
    timer.setInterval(1);
    timer.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    timer.stop();
    timer.setInterval(400);
    QElapsedTimer clock;
    clock.start();
    timer.start();
    QVERIFY(timer.isActive());
    // A stale expiry would end it at once; a busy machine can only make it later.
    QVERIFY(ended.wait(10000));
    QVERIFY2(clock.elapsed() >= 399, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(ended.size(), 1);
}

QTEST_MAIN(TestReplyWindowTimer)
#include "test_replywindowtimer.moc"
