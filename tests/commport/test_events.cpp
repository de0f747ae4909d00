// The event thread: what wakes it, how events reach the GUI thread, closing while events
// are in flight, a vanishing device, and output the kernel could not take at once.

#include "commtesting.h"

#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

using namespace commtesting;
using namespace commport;
using namespace std::chrono_literals;
using qldixw::testing::queuedInput;

namespace {

enum class CloseWhen { RightAfterOpen, AfterSomeEvents, FromHandler, WithDeliveryWaiting };
enum class LostWhile { Idle, BytesUnread, DeliveryWaiting, OutputKept };

std::string pattern(std::size_t size, int seed)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = char((i * 7 + std::size_t(seed) * 31) % 251);
    return s;
}

// Writes on the device side without pause until stopped.
class Flood {
public:
    explicit Flood(PtyPair& pair)
        : thread_([this, fd = pair.deviceFd()] {
              const std::string chunk = pattern(512, 3);
              while (!stop_.load()) {
                  if (::write(fd, chunk.data(), chunk.size()) <= 0)
                      ::usleep(200); // full, or the port side is not open
              }
          })
    {
    }
    ~Flood()
    {
        stop_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

class TestCommEvents : public QObject {
    Q_OBJECT
private slots:
    void countIsQueueSizeWhenHandled_data();
    void countIsQueueSizeWhenHandled();
    void eventsOfOneMaskInOrder_data();
    void eventsOfOneMaskInOrder();
    void onlyMonitoredEvents_data();
    void onlyMonitoredEvents();
    void closeServesDeliveryInFlight();
    void throwingHandler_data();
    void throwingHandler();
    void closeWhileFlooding_data();
    void closeWhileFlooding();
    void deviceLost_data();
    void deviceLost();
    void writeKeepsEveryByteInOrder_data();
    void writeKeepsEveryByteInOrder();
};

void TestCommEvents::countIsQueueSizeWhenHandled_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("later"); // arrives while the first event waits for the GUI
    QTest::newRow("one burst") << 10 << 0;
    QTest::newRow("more before handling") << 10 << 5;
    QTest::newRow("large bursts") << 3000 << 1000;
}

void TestCommEvents::countIsQueueSizeWhenHandled()
{
    QFETCH(int, first);
    QFETCH(int, later);
    PtyPair pair;
    CallQueue gui;
    HandlerLog log;
    TComm comm;
    wire(comm, pair, gui);
    comm.SetMonitorEvents({TCommEventState::evRxChar});
    log.attach(comm);
    comm.Open();

    QVERIFY(pair.send(pattern(std::size_t(first), 1)));
    // The thread has handed the event over and waits; the GUI has not run it yet.
    QTRY_VERIFY_WITH_TIMEOUT(gui.waiting() > 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(queuedInput(comm.DeviceHandle()), first, 5000);
    if (later > 0) {
        QVERIFY(pair.send(pattern(std::size_t(later), 2)));
        QTRY_COMPARE_WITH_TIMEOUT(queuedInput(comm.DeviceHandle()), first + later, 5000);
    }
    QCOMPARE(gui.runPending(), 1);
    QCOMPARE(log.rxCounts.value(0), first + later);

    // Bytes that came during the hand-over make one more event; then, with every byte
    // still unread, the thread sleeps: no event repeats for bytes already announced.
    gui.runFor(300ms);
    QVERIFY2(log.rxCounts.size() <= 2, qPrintable(log.calls.mid(0, 8).join(' ')));
    for (int count : log.rxCounts)
        QCOMPARE(count, first + later);
    QCOMPARE(log.calls.size(), log.rxCounts.size());
    QVERIFY(!log.wrongThread);
}

void TestCommEvents::eventsOfOneMaskInOrder_data()
{
    QTest::addColumn<unsigned>("mask");
    QTest::addColumn<QString>("calls");
    QTest::newRow("error before rxchar") << unsigned(EV_RXCHAR | EV_ERR) << "error:0 rx:7";
    QTest::newRow("all nine")
        << unsigned(EV_TXEMPTY | EV_RXFLAG | EV_RXCHAR | EV_RLSD | EV_RING | EV_ERR | EV_DSR |
                    EV_CTS | EV_BREAK)
        << "break cts dsr error:0 ring rlsd rx:7 rxflag txempty";
    QTest::newRow("txempty after break") << unsigned(EV_TXEMPTY | EV_BREAK) << "break txempty";
    QTest::newRow("unknown bits ignored") << unsigned(0x8000 | EV_RING) << "ring";
    QTest::newRow("nothing") << 0u << "";
}

void TestCommEvents::eventsOfOneMaskInOrder()
{
    QFETCH(unsigned, mask);
    QFETCH(QString, calls);
    PtyPair pair;
    CallQueue gui;
    TComm comm;
    wire(comm, pair, gui);
    comm.SetMonitorEvents({});
    comm.Open();
    QVERIFY(pair.send("1234567"));
    QTRY_COMPARE_WITH_TIMEOUT(queuedInput(comm.DeviceHandle()), 7, 5000);

    HandlerLog log;
    log.attach(comm);
    comm.HandleEvents(comm.EventThread(), mask);
    QCOMPARE(log.calls.join(' '), calls);
    QCOMPARE(comm.LineStatus().InQueue, 7u);
}

void TestCommEvents::onlyMonitoredEvents_data()
{
    QTest::addColumn<TCommEventType>("events");
    QTest::addColumn<bool>("rxExpected");
    QTest::newRow("rxchar only") << TCommEventType{TCommEventState::evRxChar} << true;
    QTest::newRow("all") << AllCommEvents() << true;
    TCommEventType allButRx = AllCommEvents();
    allButRx.Exclude(TCommEventState::evRxChar);
    QTest::newRow("all but rxchar") << allButRx << false;
    QTest::newRow("none") << TCommEventType{} << false;
}

void TestCommEvents::onlyMonitoredEvents()
{
    QFETCH(TCommEventType, events);
    QFETCH(bool, rxExpected);
    PtyPair pair;
    CallQueue gui;
    HandlerLog log;
    TComm comm;
    wire(comm, pair, gui);
    comm.SetMonitorEvents(events);
    log.attach(comm);
    comm.Open();

    for (int i = 0; i < 3; ++i) {
        QVERIFY(pair.send("abc"));
        gui.runFor(50ms);
        char sink[16];
        comm.Read(sink, sizeof sink);
    }
    gui.runFor(100ms);
    if (rxExpected) {
        QVERIFY(!log.rxCounts.isEmpty());
        QCOMPARE(log.calls.size(), log.rxCounts.size()); // nothing but rxchar
    } else {
        QVERIFY2(log.calls.isEmpty(), qPrintable(log.calls.join(' ')));
    }
}

void TestCommEvents::closeServesDeliveryInFlight()
{
    PtyPair pair;
    CallQueue gui;
    HandlerLog log;
    TComm comm;
    wire(comm, pair, gui);
    log.attach(comm);
    comm.Open();

    QVERIFY(pair.send("xyz"));
    QTRY_VERIFY_WITH_TIMEOUT(gui.waiting() > 0, 5000);
    // The thread is blocked on a hand-over the GUI has not run: Close must neither hang
    // nor leave the delivery to run on a closed port later.
    comm.Close();
    QVERIFY(!comm.IsOpen());
    QCOMPARE(log.calls, QStringList{"rx:3"});
    QCOMPARE(gui.runPending(), 1); // the stale queued call ...
    QCOMPARE(log.calls, QStringList{"rx:3"}); // ... does nothing

    // The same after a reopen: a call left from the old opening stays silent.
    comm.Open();
    QVERIFY(pair.send("xyz"));
    QTRY_VERIFY_WITH_TIMEOUT(gui.waiting() > 0, 5000);
    comm.Close();
    comm.Open();
    gui.runPending();
    QCOMPARE(log.calls.size(), 2);
}

void TestCommEvents::throwingHandler_data()
{
    QTest::addColumn<bool>("servedByClose");
    QTest::newRow("run by the GUI queue") << false;
    QTest::newRow("run by Close") << true;
}

// The GUI shows what a handler raises and goes on; the port must go on as well.
void TestCommEvents::throwingHandler()
{
    QFETCH(bool, servedByClose);
    PtyPair pair;
    CallQueue gui;
    TComm comm;
    wire(comm, pair, gui);
    int calls = 0;
    comm.OnRxChar = [&](TCustomComm* sender, int count) {
        ++calls;
        std::string sink(std::size_t(count > 0 ? count : 1), '\0');
        sender->Read(sink.data(), count);
        if (calls == 1)
            throw ECommError("handler failed", 5);
    };
    comm.Open();
    QVERIFY(pair.send("a"));
    QTRY_VERIFY_WITH_TIMEOUT(gui.waiting() > 0, 5000);

    bool thrown = false;
    try {
        if (servedByClose)
            comm.Close();
        else
            gui.runPending();
    } catch (const ECommError& e) {
        thrown = e.ErrorCode == 5;
    }
    QVERIFY(thrown);
    QCOMPARE(calls, 1);
    QCOMPARE(comm.IsOpen(), !servedByClose);
    if (servedByClose)
        comm.Open();

    QVERIFY(pair.send("b"));
    QVERIFY(gui.runUntil([&] { return calls == 2; }));
}

void TestCommEvents::closeWhileFlooding_data()
{
    QTest::addColumn<CloseWhen>("when");
    QTest::newRow("right after open") << CloseWhen::RightAfterOpen;
    QTest::newRow("after some events") << CloseWhen::AfterSomeEvents;
    QTest::newRow("from the handler") << CloseWhen::FromHandler;
    QTest::newRow("delivery waiting") << CloseWhen::WithDeliveryWaiting;
}

void TestCommEvents::closeWhileFlooding()
{
    QFETCH(CloseWhen, when);
    PtyPair pair;
    CallQueue gui;
    TComm comm;
    wire(comm, pair, gui);
    int events = 0;
    bool handlerAfterClose = false;
    bool closeNow = false;
    comm.OnRxChar = [&](TCustomComm* sender, int count) {
        if (!sender->IsOpen())
            handlerAfterClose = true;
        ++events;
        std::string sink(std::size_t(count > 0 ? count : 1), '\0');
        sender->Read(sink.data(), count);
        if (closeNow) {
            sender->Close();
            QVERIFY(!sender->IsOpen());
        }
    };

    Flood flood(pair);
    const int rounds = 40;
    for (int round = 0; round < rounds; ++round) {
        comm.Open();
        switch (when) {
        case CloseWhen::RightAfterOpen:
            break;
        case CloseWhen::AfterSomeEvents: {
            const int until = events + 3;
            QVERIFY(gui.runUntil([&] { return events >= until; }));
            break;
        }
        case CloseWhen::FromHandler:
            closeNow = true;
            QVERIFY(gui.runUntil([&] { return !comm.IsOpen(); }));
            closeNow = false;
            break;
        case CloseWhen::WithDeliveryWaiting:
            // Not pumped: the thread stays blocked on its hand-over until Close.
            QTRY_VERIFY_WITH_TIMEOUT(gui.waiting() > 0, 5000);
            break;
        }
        comm.Close();
        QVERIFY(!comm.IsOpen());
        QVERIFY(!comm.EventThread());
        const int closedAt = events;
        gui.runPending();
        QCOMPARE(events, closedAt); // nothing delivered after Close returned
    }
    QVERIFY(!handlerAfterClose);
    if (when != CloseWhen::RightAfterOpen)
        QVERIFY(events >= rounds);
}

void TestCommEvents::deviceLost_data()
{
    QTest::addColumn<LostWhile>("state");
    QTest::newRow("idle") << LostWhile::Idle;
    QTest::newRow("bytes unread") << LostWhile::BytesUnread;
    QTest::newRow("delivery waiting") << LostWhile::DeliveryWaiting;
    QTest::newRow("output kept") << LostWhile::OutputKept;
}

void TestCommEvents::deviceLost()
{
    QFETCH(LostWhile, state);
    // The port is reached through a fixed name, as a user's port is; the "device"
    // behind it is unplugged and later comes back at the same name.
    QTemporaryDir dir;
    const std::string name = dir.filePath("COM3").toStdString();
    auto pair = std::make_unique<PtyPair>();
    QCOMPARE(::symlink(pair->portPath().c_str(), name.c_str()), 0);

    CallQueue gui;
    HandlerLog log;
    TComm comm;
    comm.SetDeviceName(name);
    comm.SetMainThreadPoster(gui.poster());
    log.attach(comm);
    comm.Open();

    switch (state) {
    case LostWhile::Idle:
        break;
    case LostWhile::BytesUnread:
        QVERIFY(pair->send("abcd"));
        QVERIFY(gui.runUntil([&] { return !log.rxCounts.isEmpty(); }));
        break;
    case LostWhile::DeliveryWaiting:
        QVERIFY(pair->send("abcd"));
        QTRY_VERIFY_WITH_TIMEOUT(gui.waiting() > 0, 5000);
        break;
    case LostWhile::OutputKept: {
        const std::string big = pattern(256 * 1024, 4);
        QCOMPARE(comm.Write(big.data(), int(big.size())), -1);
        break;
    }
    }
    pair->unplug();

    QVERIFY(gui.runUntil([&] { return log.lost > 0; }));
    QVERIFY(!comm.IsOpen());
    QVERIFY(!comm.EventThread());
    QVERIFY(!log.lostSawOpenPort);
    gui.runFor(200ms);
    QCOMPARE(log.lost, 1);
    QCOMPARE(log.calls.last(), QStringLiteral("lost"));
    QVERIFY(!log.wrongThread);

    // While the device is away its name leads nowhere (the number of a closed
    // pseudo-terminal may at once go to another program's, so the link goes too).
    QCOMPARE(::unlink(name.c_str()), 0);
    try {
        comm.Open();
        QFAIL("opened a vanished device");
    } catch (const ECommError& e) {
        QCOMPARE(e.ErrorCode, ENOENT);
    }
    QVERIFY(!comm.IsOpen());

    // The device is back under the same name.
    pair = std::make_unique<PtyPair>();
    QCOMPARE(::symlink(pair->portPath().c_str(), name.c_str()), 0);
    log.rxCounts.clear();
    comm.Open();
    QVERIFY(pair->send("ok"));
    QVERIFY(gui.runUntil([&] { return !log.rxCounts.isEmpty(); }));
    QCOMPARE(log.rxCounts.last(), 2);
    QCOMPARE(comm.Write("back", 4), 4);
    QCOMPARE(QString::fromStdString(pair->receive(4)), QStringLiteral("back"));
    QCOMPARE(log.lost, 1);
}

void TestCommEvents::writeKeepsEveryByteInOrder_data()
{
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QList<bool>>("atOnce"); // the result says "all went out at once"
    QTest::newRow("small") << QList<int>{10} << QList<bool>{true};
    QTest::newRow("larger than the kernel takes") << QList<int>{200000} << QList<bool>{false};
    // Once bytes are kept, later writes queue behind them, however small.
    QTest::newRow("small after kept") << QList<int>{100000, 3, 70000, 1}
                                      << QList<bool>{false, false, false, false};
}

void TestCommEvents::writeKeepsEveryByteInOrder()
{
    QFETCH(QList<int>, sizes);
    QFETCH(QList<bool>, atOnce);
    PtyPair pair;
    CallQueue gui;
    TComm comm;
    wire(comm, pair, gui);
    comm.Open();

    std::string expected;
    for (int i = 0; i < sizes.size(); ++i) {
        const std::string chunk = pattern(std::size_t(sizes[i]), i);
        expected += chunk;
        const int result = comm.Write(chunk.data(), int(chunk.size()));
        QCOMPARE(result, atOnce[i] ? sizes[i] : -1);
    }
    // The device reads slowly at first, so the component must wait for room.
    std::this_thread::sleep_for(50ms);
    const std::string got = pair.receive(expected.size(), 10s);
    QCOMPARE(got.size(), expected.size());
    QVERIFY(got == expected);
}

QTEST_GUILESS_MAIN(TestCommEvents)
#include "test_events.moc"
