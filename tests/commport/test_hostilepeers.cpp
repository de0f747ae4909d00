// The serial component on a network line whose server does what a well-behaved one
// never does, played by a peer of the test's own on 127.0.0.1: it asks and never reads
// the answers, floods data nobody reads, leaves line settings unanswered, and resets the
// connection in the middle of a reply. Memory stays bounded, nothing is lost that the
// server did not drop, and no wait falls on the thread that opens the port.

#include "callqueue.h"
#include "customcomm.h"
#include "loopbackpeer.h"
#include "net/connector.h"
#include "net/lineprotocol.h"
#include "net/netconnection.h"

#include <QTest>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <string>

using namespace commport;
using namespace std::chrono_literals;
using qldixw::testing::CallQueue;
using qldixw::testing::LoopbackPeer;
using qldixw::testing::PeerConnection;
namespace telnetbytes = qldixw::testing::telnetbytes;

namespace {

// The process's resident memory in KiB, as the system counts it.
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

// Far from what the bounds allow (a few KiB each), far below what the faults took
// (gigabytes): growth past it is the fault come back.
constexpr long kGrowthLimitKiB = 256 * 1024;

// A port on a peer's line, its events run by `gui`. Declared last so that it closes
// first: closing delivers to handlers that write into the members above.
struct PeerPort {
    CallQueue gui;
    int lost = 0;
    TCommLastError lostWith;
    int lastCount = 0;
    std::string received;
    bool reading = false;
    TComm comm;

    explicit PeerPort(const std::string& name)
    {
        comm.SetDeviceName(name);
        comm.SetMainThreadPoster(gui.poster());
        comm.OnRxChar = [this](TCustomComm* c, int count) {
            lastCount = count;
            if (!reading)
                return;
            std::string chunk(std::size_t(count), '\0');
            const int n = c->Read(chunk.data(), count);
            received.append(chunk.data(), std::size_t(std::max(n, 0)));
        };
        comm.OnDeviceLost = [this](TCustomComm* c) {
            ++lost;
            lostWith = c->LastError();
        };
    }
};

// The bytes a flooding device sends: no IAC, so their wire form is the bytes themselves.
char patternByte(std::uint64_t i) { return static_cast<char>((i * 7 + i / 4096) % 251); }

std::string pattern(std::uint64_t from, std::size_t count)
{
    std::string s(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        s[i] = patternByte(from + i);
    return s;
}

// A server that takes the COM port option and every setting asked for within `time`.
void agreeAndAnswer(PeerConnection& c, std::chrono::milliseconds time)
{
    if (c.send(telnetbytes::agreeComPort()))
        c.answerComPortRequests(time);
}

} // namespace

class TestHostilePeers : public QObject {
    Q_OBJECT
private slots:
    void serverThatNeverReadsItsAnswers();
    void floodNobodyReads_data();
    void floodNobodyReads();
    void settingsAnsweredWhileConnecting_data();
    void settingsAnsweredWhileConnecting();
    void bytesBeforeAResetAreRead_data();
    void bytesBeforeAResetAreRead();
};

// IAC DO 99 and SIGNATURE queries as fast as it can, never reading: each answer waits to
// go out until the line is dropped as misbehaving.
void TestHostilePeers::serverThatNeverReadsItsAnswers()
{
    LoopbackPeer peer([](PeerConnection& c) {
        agreeAndAnswer(c, 500ms);
        std::string burst;
        for (int i = 0; i < 512; ++i)
            burst += std::string("\xff\xfd\x63\xff\xfa\x2c\x64\xff\xf0", 9);
        while (c.send(burst)) {
        }
    });
    PeerPort port(peer.name(true));
    port.comm.Open();
    const long before = residentKiB();
    long grown = 0;
    QVERIFY(port.gui.runUntil(
        [&] {
            grown = std::max(grown, residentKiB() - before);
            return port.lost > 0 || grown > kGrowthLimitKiB;
        },
        60s));
    QVERIFY2(grown <= kGrowthLimitKiB, qPrintable(QStringLiteral("grew by %1 KiB").arg(grown)));
    QCOMPARE(port.lostWith.Kind, CommErrorKind::Misbehaved);
    QVERIFY2(port.lostWith.Message.find("faster than it reads") != std::string::npos, port.lostWith.Message.c_str());
    QVERIFY(!port.comm.IsOpen());
}

void TestHostilePeers::floodNobodyReads_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("rfc2217") << true;
    QTest::newRow("tcp") << false;
}

// A device that sends far more than anyone reads: the line keeps what a serial port's
// buffer would, the server is held back, and every byte comes in order once read.
void TestHostilePeers::floodNobodyReads()
{
    QFETCH(bool, rfc2217);
    constexpr std::size_t total = 8 << 20;
    LoopbackPeer peer([rfc2217](PeerConnection& c) {
        if (rfc2217)
            agreeAndAnswer(c, 300ms);
        for (std::uint64_t at = 0; at < total; at += 4096)
            if (!c.send(pattern(at, 4096)))
                return;
        c.idle(60s); // until the test is done
    });
    PeerPort port(peer.name(rfc2217));
    port.comm.Open();
    const long before = residentKiB();

    // The server is held back: what it has sent stops growing for half a second, short
    // of the whole.
    std::uint64_t last = 0;
    auto changed = std::chrono::steady_clock::now();
    QVERIFY(port.gui.runUntil(
        [&] {
            const std::uint64_t sent = peer.sent();
            const auto now = std::chrono::steady_clock::now();
            if (sent != last || sent == 0)
                changed = now;
            last = sent;
            return now - changed > 500ms || port.comm.LineStatus().InQueue > net::kInputLimit;
        },
        30s));
    QVERIFY2(port.comm.LineStatus().InQueue <= net::kInputLimit,
             qPrintable(QString::number(port.comm.LineStatus().InQueue)));
    QCOMPARE(port.lastCount, int(net::kInputLimit));
    QVERIFY2(last < total, qPrintable(QString::number(last)));
    QVERIFY(residentKiB() - before < kGrowthLimitKiB);

    // Read from now on: the rest comes, in order, and nothing was dropped.
    port.reading = true;
    std::string first(net::kInputLimit, '\0');
    QCOMPARE(port.comm.Read(first.data(), int(first.size())), int(net::kInputLimit));
    port.received = first;
    QVERIFY2(port.gui.runUntil([&] { return port.received.size() >= total; }, 120s),
             qPrintable(QString::number(port.received.size())));
    QCOMPARE(port.received.size(), total);
    QVERIFY(port.received == pattern(0, total));
    QCOMPARE(port.lost, 0);
    // Held back, never overrun.
    QCOMPARE(port.comm.LastErrors() & (CE_RXOVER | CE_OVERRUN), 0u);
}

void TestHostilePeers::settingsAnsweredWhileConnecting_data()
{
    QTest::addColumn<bool>("answers");
    QTest::newRow("answered") << true;
    QTest::newRow("agreed to the option, then silent") << false;
}

// The answers are awaited on the connector's thread: the open that takes the connection
// only takes the verdict, at once.
void TestHostilePeers::settingsAnsweredWhileConnecting()
{
    QFETCH(bool, answers);
    LoopbackPeer peer([answers](PeerConnection& c) {
        if (answers)
            agreeAndAnswer(c, 60s);
        else if (c.send(telnetbytes::agreeComPort()))
            c.idle(60s);
    });
    std::atomic<int> ended{0};
    PeerPort port(peer.name(true));
    net::Connector connector(peer.name(true), net::kConnectTimeout, [&] { ++ended; }, port.comm.LineSettings());
    QVERIFY(QTest::qWaitFor([&] { return ended.load() == 1; }, 20000));
    backend::SystemError error;
    std::unique_ptr<net::Connection> connection = connector.Take(error);
    QVERIFY2(connection, error.text.c_str());
    QVERIFY(connection->Settings().has_value());
    port.comm.SetPreparedConnection(std::move(connection));

    const auto started = std::chrono::steady_clock::now();
    bool refused = false;
    try {
        port.comm.Open();
    } catch (const ECommError& e) {
        refused = true;
        QCOMPARE(e.Kind, CommErrorKind::Unsupported);
        QVERIFY2(std::string(e.what()).find("did not answer SET-") != std::string::npos, e.what());
    }
    const auto took = std::chrono::steady_clock::now() - started;
    QCOMPARE(refused, !answers);
    // Far below the answers' own wait (kAnswerWait, 3 s): no wait happened here.
    QVERIFY2(took < 1s, qPrintable(QString::number(std::chrono::duration<double>(took).count())));
    QVERIFY(port.comm.IsOpen());
    port.comm.Close();
}

void TestHostilePeers::bytesBeforeAResetAreRead_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("rfc2217") << true;
    QTest::newRow("tcp") << false;
}

// Half a reply, then a reset: the bytes that came are still read after the loss, as a
// reply window reads them when it ends.
void TestHostilePeers::bytesBeforeAResetAreRead()
{
    QFETCH(bool, rfc2217);
    LoopbackPeer peer([rfc2217](PeerConnection& c) {
        if (rfc2217)
            agreeAndAnswer(c, 300ms);
        else
            c.receive(300ms);
        c.send(std::string("\x01\x81\x00\x12", 4));
        c.receive(200ms);
        c.reset();
    });
    PeerPort port(peer.name(rfc2217));
    port.comm.Open();
    QVERIFY(port.gui.runUntil([&] { return port.lost > 0; }, 20s));
    QCOMPARE(port.lastCount, 4);
    QVERIFY(!port.comm.IsOpen());
    QCOMPARE(port.lostWith.Kind, CommErrorKind::Gone);
    char reply[16] = {};
    QCOMPARE(port.comm.Read(reply, sizeof reply), 4);
    QCOMPARE(QByteArray(reply, 4), QByteArray("\x01\x81\x00\x12", 4));
    // Taken once; the next open starts empty.
    QCOMPARE(port.comm.Read(reply, sizeof reply), -1);
    QCOMPARE(port.comm.LastError().Kind, CommErrorKind::NotOpen);
}

QTEST_GUILESS_MAIN(TestHostilePeers)
#include "test_hostilepeers.moc"
