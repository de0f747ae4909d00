// The event thread: what wakes it, how events reach the GUI thread, closing while events
// are in flight, a vanishing device, and output the kernel could not take at once.

#include "commtesting.h"

#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <numeric>
#include <sys/ioctl.h>
#include <vector>
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

// Reads on the device side until what came ends with `tail`, or ten seconds passed.
std::string receiveThrough(PtyPair& pair, const std::string& tail)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline &&
           !(got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0)) {
        got += pair.receiveAvailable();
        std::this_thread::sleep_for(5ms);
    }
    return got;
}

// A device that reads nothing, with the line's own queue full: the port side is opened
// a second time and written until the kernel takes no more, so nothing the component
// writes afterwards gets into the kernel while the device stays silent.
class StalledLine {
public:
    explicit StalledLine(const PtyPair& pair)
        : fd_(::open(pair.portPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        // The kernel moves the first bytes on into the device side's read buffer a
        // moment later (on a loaded machine, much later), which makes room once more;
        // after that move the line stays full. Full means: that buffer holds bytes and
        // no longer grows, and the line takes nothing twice in a row.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        int held = -1;
        for (;;) {
            fill();
            int now = 0;
            if (fd_ < 0 || ::ioctl(pair.deviceFd(), FIONREAD, &now) != 0)
                break;
            if ((now > 0 && now == held) || std::chrono::steady_clock::now() > deadline)
                break;
            held = now;
            std::this_thread::sleep_for(20ms);
        }
    }
    ~StalledLine()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0 && filled > 0; }
    std::size_t filled = 0;

private:
    void fill()
    {
        const std::string chunk(4096, 'F');
        for (int quiet = 0; fd_ >= 0 && quiet < 2;) {
            const ssize_t n = ::write(fd_, chunk.data(), chunk.size());
            if (n > 0) {
                filled += std::size_t(n);
                quiet = 0;
            } else {
                ++quiet;
                std::this_thread::sleep_for(20ms);
            }
        }
    }
    int fd_;
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
    void unsentOutputExpires();
    void outputQueueIsBounded_data();
    void outputQueueIsBounded();
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
    // The time of each event as its handler sees it.
    std::vector<std::chrono::steady_clock::time_point> eventTimes;
    comm.OnRxChar = [&eventTimes, logged = comm.OnRxChar](commport::TCustomComm* sender, int count) {
        eventTimes.push_back(sender->LineStatus().EventTime);
        logged(sender, count);
    };
    comm.Open();

    const auto sent = std::chrono::steady_clock::now();
    QVERIFY(pair.send(pattern(std::size_t(first), 1)));
    // The thread has handed the event over and waits; the GUI has not run it yet.
    QTRY_VERIFY_WITH_TIMEOUT(gui.waiting() > 0, 5000);
    const auto handedOver = std::chrono::steady_clock::now();
    QTRY_COMPARE_WITH_TIMEOUT(queuedInput(comm.DeviceHandle()), first, 5000);
    if (later > 0) {
        QVERIFY(pair.send(pattern(std::size_t(later), 2)));
        QTRY_COMPARE_WITH_TIMEOUT(queuedInput(comm.DeviceHandle()), first + later, 5000);
    }
    QCOMPARE(gui.runPending(), 1);
    QCOMPARE(log.rxCounts.value(0), first + later);
    // The event's time is the wake-up's, taken before the hand-over, not the handling's.
    QCOMPARE(eventTimes.size(), std::size_t(1));
    QVERIFY(eventTimes[0] >= sent && eventTimes[0] <= handedOver);

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
        // The bytes are at the port, and their event, when one is monitored, has run.
        QVERIFY(gui.runUntil(
            [&] { return queuedInput(comm.DeviceHandle()) == 3 && (!rxExpected || log.rxCounts.size() > i); }, 10s));
        char sink[16];
        QCOMPARE(comm.Read(sink, sizeof sink), 3);
    }
    // That no other event comes can only be watched for a while; a slow machine can
    // make this pass wrongly, never fail wrongly.
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
        const std::string big = pattern(48 * 1024, 4);
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
    QTest::newRow("larger than the kernel takes") << QList<int>{60000} << QList<bool>{false};
    // Once bytes are kept, later writes queue behind them, however small.
    QTest::newRow("small after kept") << QList<int>{30000, 3, 20000, 1}
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

// What the line cannot take within the write time-out is dropped, reported once, and
// leaves nothing behind that could reach the device later.
void TestCommEvents::unsentOutputExpires()
{
    PtyPair pair;
    StalledLine line(pair);
    QVERIFY(line.ok());
    CallQueue gui;
    TComm comm;
    wire(comm, pair, gui);
    QList<int> drops;
    bool wrongSender = false;
    comm.OnOutputDropped = [&](TCustomComm* sender, int bytes) {
        wrongSender = wrongSender || sender != &comm;
        drops << bytes;
    };
    comm.Open();

    const auto firstWrite = std::chrono::steady_clock::now();
    QCOMPARE(comm.Write(std::string(700, 'A').data(), 700), -1);
    gui.runFor(1000ms);
    // Nothing is dropped before its time; a stalled machine may already be past it.
    if (std::chrono::steady_clock::now() - firstWrite < kWriteTimeout)
        QVERIFY(drops.isEmpty());
    QCOMPARE(comm.Write(std::string(300, 'B').data(), 300), -1);
    QVERIFY(gui.runUntil([&] { return !drops.isEmpty(); }, 10s));
    QVERIFY(std::chrono::steady_clock::now() - firstWrite >= kWriteTimeout);
    // Only the write whose time is up; the later one still has time.
    QCOMPARE(drops, QList<int>{700});
    QVERIFY(!wrongSender);

    // The device reads again: none of the dropped bytes, the later write whole, and
    // fewer of the old bytes than the kernel held (its own queue was emptied too).
    const std::string got = receiveThrough(pair, std::string(300, 'B'));
    QCOMPARE(std::count(got.begin(), got.end(), 'A'), 0);
    QCOMPARE(std::count(got.begin(), got.end(), 'B'), 300);
    QVERIFY(got.size() >= 300 && got.substr(got.size() - 300) == std::string(300, 'B'));
    QVERIFY2(std::size_t(std::count(got.begin(), got.end(), 'F')) < line.filled,
             qPrintable(QStringLiteral("%1 of %2 old bytes").arg(got.size() - 300).arg(line.filled)));

    // Sent in time, the later write is never reported.
    gui.runFor(1200ms);
    QCOMPARE(drops, QList<int>{700});
    QCOMPARE(comm.Write("next", 4), 4);
    QCOMPARE(QString::fromStdString(pair.receive(4, 10s)), QStringLiteral("next"));
}

void TestCommEvents::outputQueueIsBounded_data()
{
    const int limit = int(kOutputQueueLimit);
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<QList<int>>("droppedAtOnce"); // 0: kept
    QTest::newRow("exactly the bound") << QList<int>{limit} << QList<int>{0};
    QTest::newRow("one byte over the bound") << QList<int>{limit + 1} << QList<int>{limit + 1};
    QTest::newRow("more than the room left")
        << QList<int>{limit / 2, limit / 2 + 1, limit / 2} << QList<int>{0, limit / 2 + 1, 0};
}

// A write that does not fit is dropped whole and at once; what was kept expires later.
void TestCommEvents::outputQueueIsBounded()
{
    QFETCH(QList<int>, writes);
    QFETCH(QList<int>, droppedAtOnce);
    PtyPair pair;
    StalledLine line(pair);
    QVERIFY(line.ok());
    CallQueue gui;
    TComm comm;
    wire(comm, pair, gui);
    QList<int> drops;
    comm.OnOutputDropped = [&](TCustomComm*, int bytes) { drops << bytes; };
    comm.Open();

    int kept = 0;
    QList<int> expected;
    for (int i = 0; i < writes.size(); ++i) {
        const std::string chunk(std::size_t(writes[i]), 'K');
        QCOMPARE(comm.Write(chunk.data(), writes[i]), -1);
        // Reported through the GUI queue, never from inside Write.
        QCOMPARE(drops, expected);
        gui.runPending();
        if (droppedAtOnce[i] > 0)
            expected << droppedAtOnce[i];
        else
            kept += writes[i];
        QCOMPARE(drops, expected);
    }
    // A pseudo-terminal can still make room a moment after the line stalled (the kernel
    // moves bytes between its buffers late on a loaded machine); what it takes is sent.
    comm.HandleEvents(comm.EventThread(), 0);
    QVERIFY(comm.LineStatus().OutQueue <= std::uint32_t(kept));
    QVERIFY(kept <= int(kOutputQueueLimit));

    const qsizetype atOnce = drops.size();
    const auto expired = [&] { return std::accumulate(drops.begin() + atOnce, drops.end(), 0); };
    QVERIFY(gui.runUntil([&] {
        comm.HandleEvents(comm.EventThread(), 0);
        return comm.LineStatus().OutQueue == 0;
    }, 10s));

    // Taken at once once the drop has emptied the line's queue, else sent when the
    // device reads again; either way behind nothing that was dropped. Every kept byte
    // meets one fate: it expires, or the system took it and the device gets it first.
    comm.Write("fresh", 5);
    std::string got = receiveThrough(pair, "fresh");
    got.erase(std::remove(got.begin(), got.end(), 'F'), got.end());
    const int taken = int(std::count(got.begin(), got.end(), 'K'));
    QVERIFY(gui.runUntil([&] { return expired() + taken >= kept; }));
    QCOMPARE(expired() + taken, kept);
    QCOMPARE(got, std::string(std::size_t(taken), 'K') + "fresh");
}

QTEST_GUILESS_MAIN(TestCommEvents)
#include "test_events.moc"
