// The network line's pure parts: names that say exactly which host and port, the Telnet
// framing whatever way the bytes are cut into reads, and what the console makes of a
// server's answers to its line settings, purges and line-state notices.

#include "lineprotocol.h"
#include "networkname.h"
#include "telnetcodec.h"

#include <QStringList>
#include <QTest>

using namespace commport::net;
using commport::CommErrorKind;
using commport::TLineSettings;

Q_DECLARE_METATYPE(commport::net::NameFault)

namespace {

std::string hex(const QByteArray& text) { return QByteArray::fromHex(text).toStdString(); }

const std::uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// Commands as text, in the order they came: "WILL 44", "SB 44 65 00 00 ff 00".
struct Recorder : telnet::CommandSink {
    QStringList commands;
    void OnNegotiation(std::uint8_t verb, std::uint8_t option) override
    {
        static const char* names[] = {"WILL", "WONT", "DO", "DONT"};
        commands << QStringLiteral("%1 %2").arg(QString::fromLatin1(names[verb - telnet::kWill])).arg(option);
    }
    void OnSubnegotiation(std::uint8_t option, std::string_view payload) override
    {
        commands << QStringLiteral("SB %1 %2").arg(option).arg(QString::fromLatin1(
                        QByteArray(payload.data(), static_cast<qsizetype>(payload.size())).toHex(' ')));
    }
};

// What one server said as this side reads it: the data and the commands.
QPair<std::string, QStringList> decode(const std::string& wire, const std::vector<std::size_t>& cuts, bool textMode)
{
    telnet::Decoder decoder;
    decoder.SetTextMode(textMode);
    Recorder recorder;
    std::string data;
    std::size_t from = 0;
    auto feed = [&](std::size_t to) {
        while (from < to)
            from += decoder.Feed(bytesOf(wire) + from, to - from, data, recorder);
    };
    for (std::size_t cut : cuts)
        feed(cut);
    feed(wire.size());
    return {data, recorder.commands};
}

TLineSettings record(commport::TBaudRate rate, commport::TDatabits bits, commport::TParity parity,
                     commport::TStopbits stop, commport::TFlowControl flow)
{
    TLineSettings s;
    s.BaudRate = rate;
    s.Databits = bits;
    s.Parity = parity;
    s.Stopbits = stop;
    s.FlowControl = flow;
    return s;
}

// A protocol that has agreed the COM port option with its server.
LineProtocol agreed()
{
    LineProtocol p(LineScheme::Rfc2217);
    p.Start();
    const std::string yes = hex("fffd2c fffd00 fffb00");
    p.Receive(bytesOf(yes), yes.size(), LineProtocol::Clock::now());
    p.Outgoing().clear();
    return p;
}

QString kindName(CommErrorKind kind)
{
    switch (kind) {
    case CommErrorKind::None: return QStringLiteral("none");
    case CommErrorKind::SettingRefused: return QStringLiteral("refused");
    case CommErrorKind::Unsupported: return QStringLiteral("unsupported");
    default: return QStringLiteral("other");
    }
}

} // namespace

class TestTelnet : public QObject {
    Q_OBJECT
private slots:
    void networkNames_data();
    void networkNames();
    void framingSurvivesEveryCut_data();
    void framingSurvivesEveryCut();
    void negotiation_data();
    void negotiation();
    void settingsAnswers_data();
    void settingsAnswers();
    void purgeAndLineState();
};

void TestTelnet::networkNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<NameFault>("fault");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("raw");
    const auto ok = [](const char* name, const char* host, int port, bool raw) {
        QTest::newRow(name) << QString::fromLatin1(name) << NameFault::None << QString::fromLatin1(host) << port << raw;
    };
    const auto bad = [](const char* name, NameFault fault) {
        QTest::newRow(name) << QString::fromLatin1(name) << fault << QString() << 0 << false;
    };
    ok("rfc2217://127.0.0.1:4001", "127.0.0.1", 4001, false);
    ok("RFC2217://gateway-3.plant.local:2001/", "gateway-3.plant.local", 2001, false);
    ok("tcp://[::1]:65535", "::1", 65535, true);
    ok("tcp://[fe80::a:0:1.2.3.4]:1", "fe80::a:0:1.2.3.4", 1, true);
    ok("rfc2217://[2001:db8:0:0:0:0:0:1]:7000", "2001:db8:0:0:0:0:0:1", 7000, false);
    bad("rfc2217:127.0.0.1:4001", NameFault::NoSlashes);
    bad("tcp://:4001", NameFault::NoHost);
    bad("tcp://127.0.0.1", NameFault::NoPort);
    bad("tcp://127.0.0.1:", NameFault::NoPort);
    bad("tcp://127.0.0.1:0", NameFault::BadPort);
    bad("tcp://127.0.0.1:65536", NameFault::BadPort);
    bad("tcp://127.0.0.1:+80", NameFault::BadPort);
    bad("tcp://127.0.0.1:4001/path", NameFault::Trailing);
    bad("tcp://127.0.0.1:4001?x", NameFault::Trailing);
    bad("tcp://user@127.0.0.1:4001", NameFault::UserInfo);
    bad("tcp://::1:4001", NameFault::BadHost);
    bad("tcp://[::1::2]:4001", NameFault::BadHost);
    bad("tcp://[1:2:3:4:5:6:7:8:9]:4001", NameFault::BadHost);
    bad("tcp://[fe80::1%eth0]:4001", NameFault::BadHost);
    bad("tcp://300.1.1.1:4001", NameFault::BadHost);
    bad("tcp://010.0.0.1:4001", NameFault::BadHost);
    bad("tcp://host_name:4001", NameFault::BadHost);
    bad("tcp://-host:4001", NameFault::BadHost);
    bad("rfc2217://host name:4001", NameFault::BadHost);
}

void TestTelnet::networkNames()
{
    QFETCH(QString, name);
    QFETCH(NameFault, fault);
    QVERIFY(IsNetworkName(name.toStdString()));
    NameFault found = NameFault::None;
    const std::optional<NetworkName> parsed = ParseNetworkName(name.toStdString(), &found);
    QCOMPARE(found, fault);
    QCOMPARE(parsed.has_value(), fault == NameFault::None);
    if (!parsed)
        return;
    QTEST(QString::fromStdString(parsed->host), "host");
    QTEST(int(parsed->port), "port");
    QTEST(parsed->scheme == LineScheme::RawTcp, "raw");
}

void TestTelnet::framingSurvivesEveryCut_data()
{
    QTest::addColumn<bool>("textMode");
    QTest::newRow("binary") << false;
    QTest::newRow("text mode: CR NUL") << true;
}

void TestTelnet::framingSurvivesEveryCut()
{
    QFETCH(bool, textMode);
    // Every byte value twice, with IAC and CR runs, and commands between them: one
    // with a doubled IAC in its payload, one that forgot its SE, a NOP, and a
    // subnegotiation too long to be one this side asked for.
    std::string data;
    for (int round = 0; round < 2; ++round)
        for (int b = 0; b < 256; ++b)
            data.push_back(static_cast<char>(round ? 255 - b : b));
    data += hex("ffff0d0d00ff0d0a");
    std::string wire;
    telnet::EncodeData(bytesOf(data), 300, wire, textMode);
    wire += hex("fffb2c fffa2c6500004bffff00fff0 fff1");
    telnet::EncodeData(bytesOf(data) + 300, 200, wire, textMode);
    wire += hex("fffa2c6a1e fffd03");
    telnet::AppendSubnegotiation(wire, 44, std::string(telnet::kMaxSubnegotiation + 1, 'x'));
    telnet::EncodeData(bytesOf(data) + 500, data.size() - 500, wire, textMode);
    const QStringList commands{"WILL 44", "SB 44 65 00 00 4b ff 00", "SB 44 6a 1e", "DO 3"};

    const auto whole = decode(wire, {}, textMode);
    QCOMPARE(QByteArray::fromStdString(whole.first).toHex(), QByteArray::fromStdString(data).toHex());
    QCOMPARE(whole.second, commands);
    for (std::size_t cut = 1; cut < wire.size(); ++cut) {
        const auto two = decode(wire, {cut}, textMode);
        QVERIFY2(two.first == data && two.second == commands, qPrintable(QStringLiteral("cut at %1").arg(cut)));
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 1; cut < wire.size(); ++cut)
        everyByte.push_back(cut);
    const auto single = decode(wire, everyByte, textMode);
    QVERIFY(single.first == data && single.second == commands);
}

void TestTelnet::negotiation_data()
{
    QTest::addColumn<QByteArray>("server");   // what the server says after the console's offer
    QTest::addColumn<QString>("agreement");
    QTest::addColumn<QByteArray>("replies");  // what the console answers (before the mask)
    QTest::addColumn<bool>("textOut");
    // ser2net's own greeting: it offers echo too, which would send the device's bytes
    // back to it.
    QTest::newRow("ser2net") << QByteArray("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c") << "agreed"
                             << QByteArray("fffd03fffb03fffe01") << false;
    QTest::newRow("declines binary") << QByteArray("fffe00fffd2c") << "agreed" << QByteArray() << true;
    QTest::newRow("declines the option") << QByteArray("fffe2c") << "refused" << QByteArray() << true;
    QTest::newRow("says nothing yet") << QByteArray("fffd00") << "pending" << QByteArray() << false;
    QTest::newRow("asks for terminal type") << QByteArray("fffd18fffd2c") << "agreed" << QByteArray("fffc18") << true;
}

void TestTelnet::negotiation()
{
    QFETCH(QByteArray, server);
    QFETCH(QString, agreement);
    QFETCH(QByteArray, replies);
    LineProtocol p(LineScheme::Rfc2217);
    p.Start();
    QCOMPARE(QByteArray::fromStdString(p.Outgoing()).toHex(), QByteArray("fffb00fffd00fffb2c"));
    p.Outgoing().clear();
    const std::string said = hex(server);
    p.Receive(bytesOf(said), said.size(), LineProtocol::Clock::now());
    const auto state = p.ComPort();
    QCOMPARE(state == LineProtocol::Agreement::Agreed ? "agreed" : state == LineProtocol::Agreement::Refused ? "refused" : "pending",
             agreement);
    // Once agreed, the console asks for the line-state notices that feed its error counters.
    const QByteArray mask = state == LineProtocol::Agreement::Agreed ? QByteArray("fffa2c0a1efff0") : QByteArray();
    QCOMPARE(QByteArray::fromStdString(p.Outgoing()).toHex(), replies + mask);
    QTEST(p.TextModeOut(), "textOut");
}

void TestTelnet::settingsAnswers_data()
{
    using namespace commport;
    QTest::addColumn<TLineSettings>("settings");
    QTest::addColumn<QByteArray>("requests"); // the values sent, in order: "code:value ..."
    QTest::addColumn<QByteArray>("answers");  // the server's, as "code:value ..."
    QTest::addColumn<bool>("pending");
    QTest::addColumn<QString>("outcome");     // after the answers, or after giving up waiting
    const TLineSettings start = record(TBaudRate::cbr4800, TDatabits::da8, TParity::paNone, TStopbits::sb20,
                                       TFlowControl::fcDefault);
    const TLineSettings cts = record(TBaudRate::cbr19200, TDatabits::da7, TParity::paEven, TStopbits::sb10,
                                     TFlowControl::fcCTS);
    const QByteArray startRequests = "5:01 1:000012c0 2:08 3:01 4:02";
    const QByteArray ctsRequests = "5:08 5:03 1:00004b00 2:07 3:03 4:01";
    QTest::newRow("all answered") << start << startRequests << startRequests << false << "none";
    QTest::newRow("answered in another order") << start << startRequests << QByteArray("4:02 3:01 2:08 1:000012c0 5:01")
                                               << false << "none";
    // A pseudo-terminal has no DTR: the server passes over it, and the later answers say so.
    QTest::newRow("DTR passed over") << cts << ctsRequests << QByteArray("5:03 1:00004b00 2:07 3:03 4:01") << false
                                     << "none";
    QTest::newRow("DTR answered late") << cts << ctsRequests << QByteArray("5:03 1:00004b00 2:07 3:03 4:01 5:08")
                                       << false << "none";
    QTest::newRow("speed rounded within 2%") << start << startRequests
                                             << QByteArray("5:01 1:000012cc 2:08 3:01 4:02") << false << "none";
    QTest::newRow("speed refused") << start << startRequests << QByteArray("5:01 1:00002580 2:08 3:01 4:02") << false
                                   << "refused";
    // A pseudo-terminal keeps 8 data bits and no parity: the server says what it has.
    QTest::newRow("format refused") << cts << ctsRequests << QByteArray("5:03 1:00004b00 2:08 3:01 4:01") << false
                                    << "refused";
    QTest::newRow("handshake answered as another") << cts << ctsRequests
                                                   << QByteArray("5:0e 1:00004b00 2:07 3:03 4:01") << false << "refused";
    QTest::newRow("stop bits never answered") << start << startRequests << QByteArray("5:01 1:000012c0 2:08 3:01")
                                              << true << "unsupported";
    QTest::newRow("nothing answered") << cts << ctsRequests << QByteArray() << true << "unsupported";
    TLineSettings four = start;
    four.Databits = TDatabits::da4;
    QTest::newRow("4 data bits: nothing sent") << four << QByteArray() << QByteArray() << false << "unsupported";
    TLineSettings options = start;
    options.Options.Include(TCommOption::coParityCheck);
    QTest::newRow("options: nothing sent") << options << QByteArray() << QByteArray() << false << "unsupported";
}

void TestTelnet::settingsAnswers()
{
    QFETCH(TLineSettings, settings);
    QFETCH(QByteArray, requests);
    QFETCH(QByteArray, answers);
    QFETCH(bool, pending);
    QFETCH(QString, outcome);
    const auto stream = [](const QByteArray& list, int offset) {
        std::string out;
        for (const QByteArray& item : list.split(' ')) {
            if (item.isEmpty())
                continue;
            const QList<QByteArray> parts = item.split(':');
            telnet::AppendSubnegotiation(out, 44, std::string(1, char(parts[0].toInt() + offset)) + hex(parts[1]));
        }
        return out;
    };
    // Whole, and a byte at a time: the outcome is the same.
    for (bool bytewise : {false, true}) {
        LineProtocol p = agreed();
        const commport::backend::SystemError refused = p.RequestSettings(settings);
        QCOMPARE(QByteArray::fromStdString(p.Outgoing()).toHex(), QByteArray::fromStdString(stream(requests, 0)).toHex());
        const std::string said = stream(answers, 100);
        for (std::size_t i = 0; i < said.size(); i += bytewise ? 1 : said.size())
            p.Receive(bytesOf(said) + i, bytewise ? 1 : said.size(), LineProtocol::Clock::now());
        QCOMPARE(p.SettingsPending(), pending);
        const commport::backend::SystemError result = refused ? refused : pending ? p.AbandonSettings() : p.SettingsResult();
        QCOMPARE(kindName(result.kind), outcome);
        QVERIFY(!p.SettingsPending());
    }
}

void TestTelnet::purgeAndLineState()
{
    using Clock = LineProtocol::Clock;
    const Clock::time_point t0 = Clock::now();
    const auto receive = [](LineProtocol& p, const std::string& bytes, Clock::time_point at) {
        p.Receive(bytesOf(bytes), bytes.size(), at);
    };
    // What the server sent before it confirms the purge is from before the purge.
    LineProtocol p = agreed();
    receive(p, "old", t0);
    p.PurgeInput(t0, std::chrono::seconds(2));
    QCOMPARE(QByteArray::fromStdString(p.Outgoing()).toHex(), QByteArray("fffa2c0c01fff0"));
    QCOMPARE(p.Input(), std::string());
    receive(p, "in flight" + hex("fffa2c70"), t0);
    receive(p, hex("01fff0") + "new", t0);
    QCOMPARE(p.Input(), std::string("new"));
    // A server that never confirms: after the wait, nothing more is dropped.
    p.PurgeInput(t0, std::chrono::seconds(2));
    receive(p, "kept", t0 + std::chrono::seconds(1));
    QCOMPARE(p.Input(), std::string());
    receive(p, "!", t0 + std::chrono::seconds(3));
    QCOMPARE(p.Input(), std::string("kept!"));
    // Line-state notices count into the error counters they map to.
    receive(p, hex("fffa2c6a1efff0 fffa2c6a08fff0 fffa2c6a01fff0"), t0);
    const commport::LineErrorCounts counts = p.ErrorCounts();
    QVERIFY(counts.known);
    QCOMPARE((QList<quint32>{counts.overrun, counts.parity, counts.frame, counts.brk}), (QList<quint32>{1, 1, 2, 1}));
}

QTEST_GUILESS_MAIN(TestTelnet)
#include "test_telnet.moc"
