// The memory exchange without a window: fed keys, clicks, replies and time-outs, read
// for the frames it sends and what it shows. Scripts pin the exchange step by step;
// the chains of bit replacement, the ER write guard and emulation run against the
// simulated controller, which refuses an ER write the guard bit does not cover.

#include "frametext.h"
#include "memoryexchange.h"
#include "memoryframes.h"
#include "qldevice.h"

#include <QTest>

using namespace memory;
using devsim::QlDevice;

namespace {

const QMap<QString, MemoryArea> kAreas{{"IR", AreaIR}, {"ER", AreaER}, {"IM", AreaIM}, {"IF", AreaIF}};
const QMap<QString, MemoryKey> kKeys{
    {"Enter", MemoryKey::Enter}, {"PgDn", MemoryKey::PageDown}, {"PgUp", MemoryKey::PageUp}, {"Other", MemoryKey::Other}};

QByteArray bytesOf(const QString& text)
{
    QByteArray bytes;
    QString rest = text;
    for (qsizetype star; (star = rest.indexOf(u'*')) >= 0; rest.remove(0, star + 1))
        bytes += transport::frameTextToBytes(rest.left(star + 1))->bytes;
    if (!rest.isEmpty())
        bytes += transport::frameTextToBytes(rest)->bytes;
    return bytes;
}

QString compact(QString text)
{
    return text.remove(u' ');
}

// The exchange with the panel's controls as plain values and a record of its output.
struct Harness {
    MemoryExchange exchange;
    MemoryControls controls;
    LineStatus line;
    QStringList unsent;   // frames sent, not yet taken by a device or a script line
    QStringList requests; // every area request sent, in order
    std::array<QStringList, MemoryAreaCount> panes;
    std::array<QString, MemoryAreaCount> values{"00", "00", "00", "00"};
    QStringList memo1;

    void take(const MemoryOutput& out)
    {
        QVERIFY2(out.frames.size() <= 1, "the line takes one frame text per event");
        for (const QString& frame : out.frames) {
            unsent << frame;
            if (!frame.startsWith(QStringLiteral("60")))
                requests << frame;
        }
        for (int area = 0; area < MemoryAreaCount; ++area) {
            panes[area] += out.paneLines[area];
            if (out.values[area])
                values[area] = *out.values[area];
        }
        memo1 += out.requestLog;
    }
    void key(MemoryArea area, MemoryKey key) { take(exchange.keyDown(area, key, controls, line)); }
    void reply(const QByteArray& bytes)
    {
        const auto span = std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        take(exchange.replyWindowEnded(span, controls, line));
    }
    void click(const QString& button)
    {
        if (button == u"ZamenaBitIR")
            take(exchange.ZamenaBitIRClick(controls, line));
        else if (button == u"ZamenaBitEX")
            take(exchange.ZamenaBitEXClick(controls, line));
        else if (button == u"VklEmul")
            take(exchange.VklEmulClick(controls, line));
        else if (button == u"viklEmul")
            take(exchange.viklEmulClick(controls, line));
        else
            QFAIL(qPrintable(QStringLiteral("no button ") + button));
    }
    void set(const QString& control, const QString& text)
    {
        if (kAreas.contains(control))
            controls.address[kAreas[control]] = text;
        else if (control == u"bitIR")
            controls.bitIR = text;
        else if (control == u"ZambIR")
            controls.ZambIR = text;
        else if (control == u"BitEx")
            controls.BitEx = text;
        else if (control == u"ZamBEX")
            controls.ZamBEX = text;
        else if (control == u"kontroller")
            controls.kontroller = text;
        else
            QFAIL(qPrintable(QStringLiteral("no control ") + control));
    }

    // Every frame goes to the device, and what it answers ends the window, until the
    // exchange sends nothing more.
    void converse(QlDevice& device)
    {
        qint64 nowMs = 0;
        for (int windows = 0; !unsent.isEmpty(); ++windows) {
            QVERIFY2(windows < 100, "the exchange does not come to an end");
            QByteArray answer;
            for (const QByteArray& piece : device.receive(bytesOf(unsent.takeFirst()), nowMs += 1000))
                answer += piece;
            reply(answer);
        }
    }
};

QString phaseName(ExchangePhase phase)
{
    switch (phase) {
    case ExchangePhase::Idle: return QStringLiteral("Idle");
    case ExchangePhase::AwaitingAck: return QStringLiteral("AwaitingAck");
    case ExchangePhase::AwaitingReply: return QStringLiteral("AwaitingReply");
    }
    return {};
}

// Runs a script on the harness. Events: "set <control> <text>", "line busy|idle|closed",
// "key <area> Enter|PgDn|PgUp|Other", "click <button>", "< <hex bytes>" (nothing
// after "<": the time-out). Checks: "> <frame text>" the next frame sent, "-" no frame
// left, "field <area> <text>", "value <area> <text>", "pane <area> <line>" the next
// pane line, "memo1 <line>" the next Memo1 line, "phase <name>". At the end no frame
// and no pane or Memo1 line may be left unchecked.
QString runScript(Harness& h, const QStringList& script)
{
    std::array<int, MemoryAreaCount> paneRead{};
    int memo1Read = 0;
    for (const QString& line : script) {
        const QString word = line.section(u' ', 0, 0);
        const QString arg = line.section(u' ', 1, 1);
        const QString rest = line.section(u' ', 2);
        const QString tail = line.section(u' ', 1);
        const auto fail = [&](const QString& got) { return line + QStringLiteral(": got ") + got; };
        if (word == u"set") {
            h.set(arg, rest);
        } else if (word == u"line") {
            h.line = {.busy = arg == u"busy", .open = arg != u"closed"};
        } else if (word == u"key") {
            h.key(kAreas[arg], kKeys[rest]);
        } else if (word == u"click") {
            h.click(arg);
        } else if (word == u"<") {
            h.reply(QByteArray::fromHex(compact(tail).toLatin1()));
        } else if (word == u">") {
            if (h.unsent.isEmpty() || h.unsent.front() != tail)
                return fail(h.unsent.isEmpty() ? QStringLiteral("nothing") : h.unsent.front());
            h.unsent.removeFirst();
        } else if (word == u"-") {
            if (!h.unsent.isEmpty())
                return fail(h.unsent.join(u'|'));
        } else if (word == u"field") {
            if (h.controls.address[kAreas[arg]] != rest)
                return fail(h.controls.address[kAreas[arg]]);
        } else if (word == u"value") {
            if (h.values[kAreas[arg]] != rest)
                return fail(h.values[kAreas[arg]]);
        } else if (word == u"pane") {
            const QStringList& pane = h.panes[kAreas[arg]];
            int& read = paneRead[kAreas[arg]];
            if (read >= pane.size() || pane[read] != rest)
                return fail(read < pane.size() ? pane[read] : QStringLiteral("nothing"));
            ++read;
        } else if (word == u"memo1") {
            if (memo1Read >= h.memo1.size() || h.memo1[memo1Read] != tail)
                return fail(memo1Read < h.memo1.size() ? h.memo1[memo1Read] : QStringLiteral("nothing"));
            ++memo1Read;
        } else if (word == u"phase") {
            if (phaseName(h.exchange.state().phase) != arg)
                return fail(phaseName(h.exchange.state().phase));
        } else {
            return line + QStringLiteral(": not a script line");
        }
    }
    if (!h.unsent.isEmpty())
        return QStringLiteral("frames left unchecked: ") + h.unsent.join(u'|');
    for (int area = 0; area < MemoryAreaCount; ++area)
        if (paneRead[area] != h.panes[area].size())
            return QStringLiteral("pane lines left unchecked: ") + h.panes[area].mid(paneRead[area]).join(u'|');
    if (memo1Read != h.memo1.size())
        return QStringLiteral("Memo1 lines left unchecked: ") + h.memo1.mid(memo1Read).join(u'|');
    return {};
}

const QString kPreamble = QStringLiteral("> 600100*C0");
const QString kIrPreambleLog = QStringLiteral("memo1 600100*C0");

// The area requests of one bit replacement of IR 000024 bit 3 (the ER write guard)
// from byte `from`: read, and write and read back when the bit changes.
QStringList guardSteps(std::uint8_t from, bool target)
{
    const QString read = QStringLiteral("C800002400");
    const std::uint8_t to = target ? zambitchten(from, 3) : std::uint8_t(from & ~(1u << 3));
    if (to == from)
        return {read};
    return {read, QStringLiteral("C9000024") + transport::hexByte(to), read};
}

} // namespace

class TestMemoryExchange : public QObject {
    Q_OBJECT
private slots:
    void script_data();
    void script();
    void bitReplacement_data();
    void bitReplacement();
    void emulation_data();
    void emulation();
    void chainsLeftByMissingReplies_data();
    void chainsLeftByMissingReplies();
};

void TestMemoryExchange::script_data()
{
    QTest::addColumn<QStringList>("script");

    QTest::newRow("read") << QStringList{
        "set IR 24", "key IR Enter", kPreamble, kIrPreambleLog, "field IR 000024", "phase AwaitingAck",
        "< C0", "> C800002400", "phase AwaitingReply",
        "< C8 5A 00", "-", "value IR 5A", "pane IR 000024 C8 5A 00", "phase Idle"};
    QTest::newRow("write, then the read-back") << QStringList{
        "set IR 10 5", "key IR Enter", kPreamble, kIrPreambleLog, "field IR 000010 05",
        "< C0", "> C900001005", "< C9 00 00", kPreamble, "phase AwaitingAck",
        "< C0", "> C800001000", "< C8 05 00", "-", "value IR 05", "pane IR 000010 05 C8 05 00"};
    QTest::newRow("IM write reads back the IM address") << QStringList{
        "set IM FF 7", "key IM Enter", kPreamble, "< C0", "> C50000FF07", "set IM 5", "< C5 07 00", kPreamble,
        "< C0", "> C40000FF00", "< C4 07 00", "pane IM 5 C4 07 00", "value IM 07"};
    QTest::newRow("error reply to a read") << QStringList{
        "set IF 3001", "key IF Enter", kPreamble, "< C0", "> CC00300100", "< CC 00 FF", "-",
        "value IF er", "pane IF 003001 CC 00 FF", "phase Idle"};
    QTest::newRow("two-byte reply changes nothing") << QStringList{
        "key ER Enter", kPreamble, "< C0", "> CA01000000", "< CA 5A", "-", "value ER 00", "phase AwaitingReply",
        "< CA 5A 00", "value ER 5A", "pane ER 010000 CA 5A 00"};
    QTest::newRow("C0 while three bytes are awaited") << QStringList{
        "key IR Enter", kPreamble, kIrPreambleLog, "< C0", "> C800002400", "< C0", "-", "phase AwaitingReply"};
    QTest::newRow("four bytes, or three while C0 is awaited") << QStringList{
        "key IM Enter", kPreamble, "< C4 00 00 00", "< C4 00 00", "-", "phase AwaitingAck", "value IM 00"};
    QTest::newRow("C0 in a window the exchange did not open") << QStringList{"< C0", "-", "phase Idle"};
    QTest::newRow("time-out while C0 is awaited") << QStringList{
        "key IM Enter", kPreamble, "<", "phase Idle", "< C0", "-"};
    // A request started by a button waits for its own acknowledgement again.
    QTest::newRow("time-out while three bytes are awaited, then a button") << QStringList{
        "key IR Enter", kPreamble, kIrPreambleLog, "< C0", "> C800002400", "<", "phase Idle",
        "click ZamenaBitIR", kPreamble, kIrPreambleLog, "phase AwaitingAck", "< C0", "> C800002400",
        "< C8 24 00", "pane IR 000024 C8 24 00", "pane IR Бит уже установлен", "-"};
    QTest::newRow("a key while a reply is awaited abandons the exchange") << QStringList{
        "key IM Enter", kPreamble, "line busy", "key IM Other", "key IR Enter", "-", "line idle",
        "< C0", "-", "phase Idle"};
    QTest::newRow("Page Down and Page Up") << QStringList{
        "set IM 10 55", "key IM PgDn", "field IM 000011", kPreamble, "< C0", "> C400001100", "< C4 11 00",
        "pane IM 000011 C4 11 00", "key IM PgUp", kPreamble, "< C0", "> C400001000", "< C4 10 00",
        "pane IM 000010 C4 10 00", "set IM FFFFFF", "key IM PgDn", "field IM FFFFFF", kPreamble};
    QTest::newRow("a digit key sends nothing") << QStringList{"key IR Other", "key IF Other", "-"};
    QTest::newRow("two blanks in IF are reported in the IR pane") << QStringList{
        "set IF 1 2 3", "key IF Enter", "-", "pane IR Ошибка пробел", "set IR 1 2 3", "key IR Enter", "-",
        "field IF 1 2 3"};
    QTest::newRow("a refused text stays in the field") << QStringList{
        "set IR 12G", "key IR Enter", "-", "field IR 12G", "set IM 10 555", "key IM Enter", "-"};
    QTest::newRow("controller 7F, only IR requests in Memo1") << QStringList{
        "set kontroller 7F", "key IF Enter", "> 607F00*C0", "<", "key IR Enter", "> 607F00*C0", "memo1 607F00*C0"};
    QTest::newRow("controller 5 goes out as 05") << QStringList{"set kontroller 5", "key IM Enter", "> 600500*C0"};
    QTest::newRow("no controller address") << QStringList{
        "set kontroller ", "key IR Enter", "-", "memo1 Адрес «» — не адрес контроллера (01-7F): запрос не отправлен"};
    QTest::newRow("closed port: the field changes, nothing goes out") << QStringList{
        "line closed", "set IR 10 5", "key IR Enter", "-", "field IR 000010 05", kIrPreambleLog, "phase Idle"};
    QTest::newRow("emulation buttons wait for an awaited reply") << QStringList{
        "line busy", "click VklEmul", "click viklEmul", "-", "field IR 000024", "set IR 5", "click viklEmul",
        "field IR 5"};
    QTest::newRow("bit number outside 0-7") << QStringList{
        "set bitIR 9", "click ZamenaBitIR", "-", "pane IR Номер бита «9» — не бит байта (0-7): запрос не отправлен",
        "set BitEx ", "click ZamenaBitEX", "-", "pane ER Номер бита «» — не бит байта (0-7): запрос не отправлен"};
    QTest::newRow("unusable address for a bit replacement") << QStringList{
        "set IR 1G", "click ZamenaBitIR", "-", "field IR 1G", "set ER 1 2 3", "click ZamenaBitEX", "-", "field ER 1"};
    QTest::newRow("ER bit number changed before the read reply") << QStringList{
        "set BitEx 2", "click ZamenaBitEX", kPreamble, "< C0", "> CA01000000", "set BitEx x", "< CA 00 00", "-",
        "pane ER 010000 CA 00 00", "pane ER Номер бита «x» — не бит байта (0-7): запрос не отправлен"};
    QTest::newRow("ER read error ends the ER chain") << QStringList{
        "set ZamBEX 1", "click ZamenaBitEX", kPreamble, "< C0", "> CA01000000", "< CA 00 FF", "-",
        "value ER er", "pane ER 010000 CA 00 FF", "< CA 00 00", "-"};
}

void TestMemoryExchange::script()
{
    QFETCH(QStringList, script);
    Harness h;
    const QString failure = runScript(h, script);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestMemoryExchange::bitReplacement_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("bit");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("before"); // the byte at the field's address
    QTest::addColumn<int>("guard");  // IR 000024
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("message"); // the area's last pane line

    const QString read10 = "C800001000";
    const QString readEr = "CA01000000";
    const QString already = "Бит уже установлен";
    QTest::newRow("IR A: 5A bit 0 to 1") << "ZamenaBitIR" << "10 55" << 0 << "1" << 0x5A << 0x24
                                         << QStringList{read10, "C90000105B", read10} << 0x5B << "000010 5B C8 5B 00";
    QTest::newRow("IR B: 5B bit 0 already 1") << "ZamenaBitIR" << "10" << 0 << "1" << 0x5B << 0x24
                                              << QStringList{read10} << 0x5B << already;
    QTest::newRow("IR C: 5B bit 1 to 0") << "ZamenaBitIR" << "10" << 1 << "0" << 0x5B << 0x24
                                         << QStringList{read10, "C900001059", read10} << 0x59 << "000010 59 C8 59 00";
    QTest::newRow("IR D: 59 bit 2 already 0") << "ZamenaBitIR" << "10" << 2 << "0" << 0x59 << 0x24
                                              << QStringList{read10} << 0x59 << already;
    QTest::newRow("IR target typed as 5 counts as 0") << "ZamenaBitIR" << "10" << 1 << "5" << 0x5B << 0x24
                                                      << QStringList{read10, "C900001059", read10} << 0x59 << "000010 59 C8 59 00";

    // Every ER write is bracketed by bit 3 of IR 000024.
    QTest::newRow("ER A, guard bit was 0") << "ZamenaBitEX" << "010000" << 0 << "1" << 0x5A << 0x24
        << QStringList{readEr} + guardSteps(0x24, true) + QStringList{"CB0100005B", readEr} + guardSteps(0x2C, false)
        << 0x5B << "010000 5B CA 5B 00";
    QTest::newRow("ER A, guard bit was already 1") << "ZamenaBitEX" << "010000" << 0 << "1" << 0x5A << 0x2C
        << QStringList{readEr} + guardSteps(0x2C, true) + QStringList{"CB0100005B", readEr} << 0x5B << "010000 5B CA 5B 00";
    QTest::newRow("ER B: already 1") << "ZamenaBitEX" << "010000" << 0 << "1" << 0x5B << 0x24 << QStringList{readEr}
                                     << 0x5B << already;
    QTest::newRow("ER C, guard bit was 0") << "ZamenaBitEX" << "1 FF" << 1 << "0" << 0x5B << 0x24
        << QStringList{"CA00000100"} + guardSteps(0x24, true) + QStringList{"CB00000159", "CA00000100"}
               + guardSteps(0x2C, false)
        << 0x59 << "000001 59 CA 59 00";
    QTest::newRow("ER D: already 0") << "ZamenaBitEX" << "010000" << 2 << "0" << 0x59 << 0x24 << QStringList{readEr}
                                     << 0x59 << already;
}

void TestMemoryExchange::bitReplacement()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(int, bit);
    QFETCH(QString, target);
    QFETCH(int, before);
    QFETCH(int, guard);
    const bool er = button == u"ZamenaBitEX";
    const MemoryArea area = er ? AreaER : AreaIR;

    QlDevice device;
    device.setErWriteGuard(true);
    const auto deviceArea = er ? QlDevice::Area::ER : QlDevice::Area::IR;
    const std::uint32_t address = std::uint32_t(transport::hexText6ToInt(field.section(u' ', 0, 0)));
    device.setByte(deviceArea, address, std::uint8_t(before));
    device.setByte(QlDevice::Area::IR, 0x24, std::uint8_t(guard));

    Harness h;
    h.set(er ? "ER" : "IR", field);
    h.set(er ? "BitEx" : "bitIR", QString::number(bit));
    h.set(er ? "ZamBEX" : "ZambIR", target);
    h.click(button);
    h.converse(device);

    QTEST(h.requests, "requests");
    QTEST(int(device.byte(deviceArea, address)), "after");
    QCOMPARE(int(device.byte(QlDevice::Area::IR, 0x24)), guard);
    QTEST(h.panes[area].last(), "message");
    QCOMPARE(h.controls.address[area].left(6), field.section(u' ', 0, 0).rightJustified(6, u'0'));
    QCOMPARE(h.exchange.state().phase, ExchangePhase::Idle);
}

void TestMemoryExchange::emulation_data()
{
    QTest::addColumn<QStringList>("buttons"); // clicked in turn, each chain to its end
    QTest::addColumn<int>("ir24");
    QTest::addColumn<int>("er41");
    QTest::addColumn<QStringList>("requests"); // of the last button
    QTest::addColumn<int>("ir24After");
    QTest::addColumn<int>("er41After");
    QTest::addColumn<QStringList>("irPane"); // the IR pane's messages, in order

    const QString readIr = "C800002400";
    const QString readEr = "CA01004100";
    const QString already = "Бит уже установлен";
    // 24 and 41: bits 6, 3 and 7 all 0.
    QTest::newRow("on, all bits 0") << QStringList{"VklEmul"} << 0x24 << 0x41
        << QStringList{readIr, "C900002464", readIr, readEr, readIr, "C90000246C", readIr, "CB010041C1", readEr,
                       readIr, "C900002464", readIr}
        << 0x64 << 0xC1 << QStringList{};
    QTest::newRow("off after on") << QStringList{"VklEmul", "viklEmul"} << 0x24 << 0x41
        << QStringList{readIr, "C900002424", readIr, readEr, readIr, "C90000242C", readIr, "CB01004141", readEr,
                       readIr, "C900002424", readIr}
        << 0x24 << 0x41 << QStringList{};
    QTest::newRow("on, bit 6 already 1") << QStringList{"VklEmul"} << 0x64 << 0x41
        << QStringList{readIr, readEr, readIr, "C90000246C", readIr, "CB010041C1", readEr, readIr, "C900002464", readIr}
        << 0x64 << 0xC1 << QStringList{already};
    QTest::newRow("on, guard bit already 1") << QStringList{"VklEmul"} << 0x2C << 0x41
        << QStringList{readIr, "C90000246C", readIr, readEr, readIr, "CB010041C1", readEr}
        << 0x6C << 0xC1 << QStringList{already};
    QTest::newRow("on, both already on") << QStringList{"VklEmul"} << 0x64 << 0xC1
        << QStringList{readIr, readEr} << 0x64 << 0xC1 << QStringList{already};
    QTest::newRow("off, both already off") << QStringList{"viklEmul"} << 0x24 << 0x41
        << QStringList{readIr, readEr} << 0x24 << 0x41 << QStringList{already};
}

void TestMemoryExchange::emulation()
{
    QFETCH(QStringList, buttons);
    QFETCH(int, ir24);
    QFETCH(int, er41);
    QlDevice device;
    device.setErWriteGuard(true);
    device.setByte(QlDevice::Area::IR, 0x24, std::uint8_t(ir24));
    device.setByte(QlDevice::Area::ER, 0x010041, std::uint8_t(er41));

    Harness h;
    for (const QString& button : buttons) {
        h.requests.clear();
        h.panes[AreaIR].clear();
        h.click(button);
        h.converse(device);
    }
    QTEST(h.requests, "requests");
    QTEST(int(device.byte(QlDevice::Area::IR, 0x24)), "ir24After");
    QTEST(int(device.byte(QlDevice::Area::ER, 0x010041)), "er41After");
    QStringList messages = h.panes[AreaIR];
    messages.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("000024")); });
    QTEST(messages, "irPane");
    // The ER step shows itself in the ER boxes.
    QCOMPARE(h.controls.address[AreaER].left(6), QStringLiteral("010041"));
    QCOMPARE(h.controls.BitEx, QStringLiteral("7"));
    QCOMPARE(h.controls.ZamBEX, buttons.last() == u"VklEmul" ? QStringLiteral("1") : QStringLiteral("0"));
}

// A chain that stopped for want of a reply must not carry on under a new request.
void TestMemoryExchange::chainsLeftByMissingReplies_data()
{
    QTest::addColumn<QStringList>("before"); // script run first, without the device
    QTest::addColumn<QStringList>("then");   // events that then run against the device
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<int>("er");             // ER 010000 at the end (5A at start)
    QTest::addColumn<int>("ir24");           // IR 000024 at the end (24 at start)

    const QString readEr = "CA01000000";
    // The guard's IR read got no reply: its erWriteUnlocking must not let the next
    // ER write out without the guard.
    QTest::newRow("ER bit button after a guard left waiting") << QStringList{
        "set ER 010000 AB", "key ER Enter", kPreamble, kIrPreambleLog, "< C0", "> C800002400", "<", "phase Idle"}
        << QStringList{"set ZamBEX 1", "click ZamenaBitEX"}
        << QStringList{readEr} + guardSteps(0x24, true) + QStringList{"CB0100005B", readEr} + guardSteps(0x2C, false)
        << 0x5B << 0x24;
    // The ER bit replacement's read got no reply: a plain read typed next must stay a read.
    QTest::newRow("key after an ER bit replacement left waiting") << QStringList{
        "set ZamBEX 1", "click ZamenaBitEX", kPreamble, "< C0", "> CA01000000", "<"}
        << QStringList{"key ER Enter"} << QStringList{readEr} << 0x5A << 0x24;
    QTest::newRow("emulation after an ER write left waiting") << QStringList{
        "set ER 010000 AB", "key ER Enter", kPreamble, kIrPreambleLog, "<"}
        << QStringList{"click VklEmul"}
        << QStringList{"C800002400", "C900002464", "C800002400", "CA01004100", "C800002400", "C90000246C", "C800002400",
                       "CB010041C1", "CA01004100", "C800002400", "C900002464", "C800002400"}
        << 0x5A << 0x64;
}

void TestMemoryExchange::chainsLeftByMissingReplies()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, then);
    Harness h;
    const QString failure = runScript(h, before);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    QlDevice device;
    device.setErWriteGuard(true);
    device.setByte(QlDevice::Area::ER, 0x010000, 0x5A);
    h.requests.clear();
    for (const QString& line : then) {
        const QStringList words = line.split(u' ');
        if (words[0] == u"set")
            h.set(words[1], words.mid(2).join(u' '));
        else if (words[0] == u"key")
            h.key(kAreas[words[1]], kKeys[words[2]]);
        else
            h.click(words[1]);
    }
    h.converse(device);
    QTEST(h.requests, "requests");
    QTEST(int(device.byte(QlDevice::Area::ER, 0x010000)), "er");
    QTEST(int(device.byte(QlDevice::Area::IR, 0x24)), "ir24");
}

QTEST_APPLESS_MAIN(TestMemoryExchange)
#include "test_memoryexchange.moc"
