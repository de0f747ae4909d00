// The memory exchange without a window: fed keys, clicks, replies and time-outs, read
// for the frames it sends and what it shows. Scripts pin the exchange step by step,
// or let it talk to the simulated controller, which refuses an ER write the guard bit
// does not cover.

#include "frametext.h"
#include "memoryexchange.h"
#include "qldevice.h"

#include <QTest>

using namespace memory;
using devsim::QlDevice;

namespace {

const QMap<QString, MemoryArea> kAreas{{"IR", AreaIR}, {"ER", AreaER}, {"IM", AreaIM}, {"IF", AreaIF}};
const QMap<QString, MemoryKey> kKeys{
    {"Enter", MemoryKey::Enter}, {"PgDn", MemoryKey::PageDown}, {"PgUp", MemoryKey::PageUp}, {"Other", MemoryKey::Other}};
const QStringList kPhases{"Idle", "AwaitingAck", "AwaitingReply"};

QByteArray bytesOf(QString text)
{
    QByteArray bytes;
    for (qsizetype star; (star = text.indexOf(u'*')) >= 0; text.remove(0, star + 1))
        bytes += transport::frameTextToBytes(text.left(star + 1))->bytes;
    return bytes + (text.isEmpty() ? QByteArray() : transport::frameTextToBytes(text)->bytes);
}

// The exchange with the panel's controls as plain values, the simulated controller,
// and a record of what the exchange did.
struct Harness {
    MemoryExchange exchange;
    MemoryControls controls;
    LineStatus line;
    QlDevice device;
    QStringList unsent;   // frames not yet checked by the script or taken by the device
    QStringList requests; // area requests sent since the last check
    std::array<QStringList, MemoryAreaCount> panes;
    std::array<QString, MemoryAreaCount> values{"00", "00", "00", "00"};
    QStringList memo1;
    QStringList memo2;

    void take(const MemoryOutput& out)
    {
        QVERIFY2(out.frames.size() <= 1, "the line takes one frame text per event");
        unsent += out.frames;
        for (const QString& frame : out.frames)
            if (!frame.startsWith(QStringLiteral("60")))
                requests << frame;
        for (int area = 0; area < MemoryAreaCount; ++area) {
            panes[area] += out.paneLines[area];
            values[area] = out.values[area].value_or(values[area]);
        }
        memo1 += out.requestLog;
        memo2 += out.exchangeLog;
    }
    void reply(const QByteArray& bytes)
    {
        take(exchange.replyWindowEnded(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                 std::size_t(bytes.size())),
                                       controls, line));
    }
    // Every frame goes to the device and its answer ends the window, until the
    // exchange sends nothing more.
    void converse()
    {
        for (qint64 nowMs = 1000; !unsent.isEmpty() && nowMs < 100000; nowMs += 1000)
            reply(device.receive(bytesOf(unsent.takeFirst()), nowMs).join());
        QVERIFY2(unsent.isEmpty(), "the exchange does not come to an end");
    }
};

QString& controlText(MemoryControls& c, const QString& name)
{
    static QString none;
    if (kAreas.contains(name))
        return c.address[kAreas[name]];
    const std::pair<const char*, QString*> boxes[] = {
        {"bitIR", &c.bitIR}, {"ZambIR", &c.ZambIR}, {"BitEx", &c.BitEx}, {"ZamBEX", &c.ZamBEX}, {"kontroller", &c.kontroller}};
    for (const auto& [box, text] : boxes)
        if (name == QLatin1String(box))
            return *text;
    return none;
}

QlDevice::Area deviceArea(const QString& name)
{
    return QlDevice::Area(kAreas[name]);
}

// Events: "IR=10 55" sets a control's text (IR ER IM IF bitIR ZambIR BitEx ZamBEX
// kontroller), "busy"/"idle"/"closed" the line, "key IR Enter|PgDn|PgUp|Other",
// "click <button>", "< C8 5A 00" a reply ("<" alone: the time-out), "run" lets the
// device answer until the chain ends, "poke IR 24 5A" stores a byte in the device.
// Checks: "> <frame>" the next frame, "-" no frame left, "field IR <text>",
// "value IR <text>", "pane IR <line>" a later line of the pane, "lines IR <n>",
// "memo1 <line>" the next Memo1 line, "memo2 <line>" the next line the exchange adds to
// Memo2, "phase <name>", "requests <frame>..." the area
// requests since the last check, "peek IR 24 5B" a byte of the device.
// At the end no frame may be left unchecked.
QString runScript(Harness& h, const QStringList& script)
{
    std::array<int, MemoryAreaCount> paneRead{};
    int memo1Read = 0;
    int memo2Read = 0;
    for (const QString& line : script) {
        const QStringList w = line.split(u' ');
        const QString tail = line.section(u' ', 1);
        const QString rest = line.section(u' ', 2);
        const auto device = [&](int word) { return std::uint32_t(w[word].toUInt(nullptr, 16)); };
        std::optional<QString> got;
        if (line.contains(u'=') && !line.startsWith(u'>')) {
            controlText(h.controls, line.section(u'=', 0, 0)) = line.section(u'=', 1);
        } else if (w[0] == u"busy" || w[0] == u"idle" || w[0] == u"closed") {
            h.line = {.busy = w[0] == u"busy", .open = w[0] != u"closed"};
        } else if (w[0] == u"key") {
            h.take(h.exchange.keyDown(kAreas[w[1]], kKeys[w[2]], h.controls, h.line));
        } else if (w[0] == u"click") {
            MemoryExchange& x = h.exchange;
            const QMap<QString, MemoryOutput (MemoryExchange::*)(MemoryControls&, LineStatus)> buttons{
                {"ZamenaBitIR", &MemoryExchange::ZamenaBitIRClick}, {"ZamenaBitEX", &MemoryExchange::ZamenaBitEXClick},
                {"VklEmul", &MemoryExchange::VklEmulClick}, {"viklEmul", &MemoryExchange::viklEmulClick}};
            h.take((x.*buttons[w[1]])(h.controls, h.line));
        } else if (w[0] == u"<") {
            h.reply(QByteArray::fromHex(tail.toLatin1()));
        } else if (w[0] == u"run") {
            h.converse();
        } else if (w[0] == u"poke") {
            h.device.setByte(deviceArea(w[1]), device(2), std::uint8_t(device(3)));
        } else if (w[0] == u">") {
            got = h.unsent.value(0, QStringLiteral("nothing"));
            if (*got == tail)
                h.unsent.removeFirst();
        } else if (w[0] == u"-") {
            got = h.unsent.join(u'|');
        } else if (w[0] == u"field") {
            got = h.controls.address[kAreas[w[1]]];
        } else if (w[0] == u"value") {
            got = h.values[kAreas[w[1]]];
        } else if (w[0] == u"pane") {
            const QStringList& pane = h.panes[kAreas[w[1]]];
            int& read = paneRead[kAreas[w[1]]];
            while (read < pane.size() && pane[read] != rest)
                ++read;
            got = read < pane.size() ? pane[read++] : QStringLiteral("nothing");
        } else if (w[0] == u"lines") {
            got = QString::number(h.panes[kAreas[w[1]]].size());
        } else if (w[0] == u"memo1") {
            got = memo1Read < h.memo1.size() ? h.memo1[memo1Read++] : QStringLiteral("nothing");
        } else if (w[0] == u"memo2") {
            got = memo2Read < h.memo2.size() ? h.memo2[memo2Read++] : QStringLiteral("nothing");
        } else if (w[0] == u"phase") {
            got = kPhases[int(h.exchange.state().phase)];
        } else if (w[0] == u"requests") {
            got = h.requests.join(u' ');
            h.requests.clear();
        } else if (w[0] == u"peek") {
            got = transport::hexByte(h.device.byte(deviceArea(w[1]), device(2)));
        } else {
            return line + QStringLiteral(": not a script line");
        }
        const QString expected = w[0] == u"field" || w[0] == u"value" || w[0] == u"pane" || w[0] == u"lines" ? rest
            : w[0] == u"peek" ? w[3] : w[0] == u"-" ? QString() : tail;
        if (got && *got != expected)
            return line + QStringLiteral(": got ") + *got;
    }
    return h.unsent.isEmpty() ? QString() : QStringLiteral("frames left unchecked: ") + h.unsent.join(u'|');
}

const QString kPreamble = QStringLiteral("> 600100*C0");
const QString kIrLog = QStringLiteral("memo1 600100*C0");
const QString kAlready = QStringLiteral("Бит уже установлен");
// Reads of the two fixed bytes; the three IR 000024 steps that set and clear the ER
// write guard bit when IR 000024 holds 24 (bit 3 clear).
const QString rIr = QStringLiteral("C800002400");
const QString rEr41 = QStringLiteral("CA01004100");
const QString guardOn = QStringLiteral("C800002400 C90000242C C800002400");
const QString guardOff = QStringLiteral("C800002400 C900002424 C800002400");
const QString emulationOn = rIr + " C900002464 " + rIr + " " + rEr41 + " " + rIr + " C90000246C " + rIr
    + " CB010041C1 " + rEr41 + " " + rIr + " C900002464 " + rIr;

} // namespace

class TestMemoryExchange : public QObject {
    Q_OBJECT
private slots:
    void script_data();
    void script();
};

void TestMemoryExchange::script_data()
{
    QTest::addColumn<QStringList>("script");
    const auto row = [](const char* name, const QStringList& script) { QTest::newRow(name) << script; };

    // One exchange at a time, replies given by the script.
    row("read", {"IR=24", "key IR Enter", kPreamble, kIrLog, "field IR 000024", "phase AwaitingAck", "< C0",
                 "> C800002400", "phase AwaitingReply", "< C8 5A 00", "-", "value IR 5A", "pane IR 000024 C8 5A 00",
                 "phase Idle"});
    row("write, then the read-back", {"IR=10 5", "key IR Enter", kPreamble, kIrLog, "field IR 000010 05", "< C0",
                                      "> C900001005", "< C9 00 00", kPreamble, "phase AwaitingAck", "< C0",
                                      "> C800001000", "< C8 05 00", "-", "value IR 05", "pane IR 000010 05 C8 05 00",
                                      "memo1 nothing"});
    row("IM write reads back its own address", {"IM=FF 7", "key IM Enter", kPreamble, "< C0", "> C50000FF07", "IM=5",
                                                "< C5 07 00", kPreamble, "< C0", "> C40000FF00", "< C4 07 00",
                                                "pane IM 5 C4 07 00", "memo1 nothing"});
    row("error reply to a read", {"IF=3001", "key IF Enter", kPreamble, "< C0", "> CC00300100", "< CC 00 FF", "-",
                                  "value IF er", "pane IF 003001 CC 00 FF", "phase Idle"});
    row("two-byte reply changes nothing", {"key ER Enter", kPreamble, "< C0", "> CA01000000", "< CA 5A", "-",
                                           "lines ER 0", "phase AwaitingReply", "< CA 5A 00", "value ER 5A"});
    row("C0 while three bytes are awaited", {"key IM Enter", kPreamble, "< C0", "> C400000000", "< C0", "-",
                                             "phase AwaitingReply"});
    row("four bytes, or three while C0 is awaited", {"key IM Enter", kPreamble, "< C4 00 00 00", "< C4 00 00", "-",
                                                     "phase AwaitingAck", "lines IM 0"});
    row("time-out while C0 is awaited", {"key IM Enter", kPreamble, "<", "phase Idle", "< C0", "-"});
    // A request started by a button waits for its own acknowledgement again.
    row("time-out while three bytes are awaited, then a button",
        {"key IR Enter", kPreamble, kIrLog, "< C0", "> C800002400", "<", "phase Idle", "click ZamenaBitIR", kPreamble,
         kIrLog, "phase AwaitingAck", "< C0", "> C800002400", "< C8 24 00", "pane IR " + kAlready, "-"});
    row("a key while a reply is awaited abandons the exchange",
        {"key IM Enter", kPreamble, "busy", "key IM Other", "key IR Enter", "-", "idle", "< C0", "-", "phase Idle"});
    row("Page Down and Page Up", {"IM=10 55", "key IM PgDn", "field IM 000011", kPreamble, "< C0", "> C400001100",
                                  "< C4 11 00", "key IM PgUp", "field IM 000010", kPreamble, "IM=FFFFFF",
                                  "key IM PgDn", "field IM FFFFFF", kPreamble});
    row("a digit key sends nothing", {"key IR Other", "key IF Other", "-"});
    row("two blanks: IF reports them in the IR pane", {"IF=1 2 3", "key IF Enter", "-", "pane IR Ошибка пробел",
                                                       "IR=1 2 3", "key IR Enter", "-", "lines IR 1", "field IF 1 2 3"});
    row("a refused text stays in the field", {"IR=12G", "key IR Enter", "-", "field IR 12G", "memo1 nothing"});
    row("controller 7F; only IR requests in Memo1", {"kontroller=7F", "key IF Enter", "> 607F00*C0", "memo1 nothing",
                                                      "<", "key IR Enter", "> 607F00*C0", "memo1 607F00*C0"});
    row("controller 5 goes out as 05", {"kontroller=5", "key IM Enter", "> 600500*C0"});
    row("no controller address", {"kontroller=", "key IR Enter", "-",
                                  "memo1 Адрес «» — не адрес контроллера (01-7F): запрос не отправлен"});
    row("closed port: the field changes, nothing goes out",
        {"closed", "IR=10 5", "key IR Enter", "-", "field IR 000010 05", kIrLog, "phase Idle",
         "memo2 Порт закрыт: кадр не отправлен", "memo2 nothing"});
    row("closed port: said once for each key and click",
        {"closed", "key IM Enter", "click VklEmul", "key IR Other", "-", "memo2 Порт закрыт: кадр не отправлен",
         "memo2 Порт закрыт: кадр не отправлен", "memo2 nothing"});
    row("a busy line is no closed port", {"busy", "key IR Enter", "click ZamenaBitIR", "-", "memo2 nothing"});
    row("emulation buttons wait for an awaited reply", {"busy", "IR=5", "click VklEmul", "click viklEmul", "-",
                                                        "field IR 5"});
    row("bit number outside 0-7", {"bitIR=9", "click ZamenaBitIR", "-",
                                   "pane IR Номер бита «9» — не бит байта (0-7): запрос не отправлен", "BitEx=",
                                   "click ZamenaBitEX", "-",
                                   "pane ER Номер бита «» — не бит байта (0-7): запрос не отправлен"});
    row("unusable address for a bit replacement", {"IR=1G", "click ZamenaBitIR", "-", "field IR 1G", "ER=1 2 3",
                                                   "click ZamenaBitEX", "-", "field ER 1"});
    row("ER bit number changed before the read reply",
        {"BitEx=2", "click ZamenaBitEX", kPreamble, "< C0", "> CA01000000", "BitEx=x", "< CA 00 00", "-",
         "pane ER Номер бита «x» — не бит байта (0-7): запрос не отправлен"});
    row("ER read error ends the ER chain", {"ZamBEX=1", "click ZamenaBitEX", kPreamble, "< C0", "> CA01000000",
                                            "< CA 00 FF", "-", "value ER er", "< CA 00 00", "-"});

    // Bit replacement against the device: the four cases for IR and for ER.
    row("IR A: 5A bit 0 to 1", {"poke IR 10 5A", "IR=10 55", "ZambIR=1", "click ZamenaBitIR", "run",
                                "requests C800001000 C90000105B C800001000", "peek IR 10 5B",
                                "pane IR 000010 5B C8 5B 00"});
    row("IR B: 5B bit 0 already 1", {"poke IR 10 5B", "IR=10", "ZambIR=1", "click ZamenaBitIR", "run",
                                     "requests C800001000", "pane IR " + kAlready});
    row("IR C: 5B bit 1 to 0", {"poke IR 10 5B", "IR=10", "bitIR=1", "click ZamenaBitIR", "run",
                                "requests C800001000 C900001059 C800001000", "peek IR 10 59"});
    row("IR D: 59 bit 2 already 0", {"poke IR 10 59", "IR=10", "bitIR=2", "click ZamenaBitIR", "run",
                                     "requests C800001000", "pane IR " + kAlready});
    row("IR target typed as 5 counts as 0", {"poke IR 10 5B", "IR=10", "bitIR=1", "ZambIR=5", "click ZamenaBitIR",
                                             "run", "peek IR 10 59"});
    // Every ER write is bracketed by bit 3 of IR 000024.
    row("ER A, guard bit was 0", {"poke ER 010000 5A", "ZamBEX=1", "click ZamenaBitEX", "run",
                                  "requests CA01000000 " + guardOn + " CB0100005B CA01000000 " + guardOff,
                                  "peek ER 010000 5B", "peek IR 24 24", "pane ER 010000 5B CA 5B 00"});
    row("ER A, guard bit already 1", {"poke ER 010000 5A", "poke IR 24 2C", "ZamBEX=1", "click ZamenaBitEX", "run",
                                      "requests CA01000000 C800002400 CB0100005B CA01000000", "pane IR " + kAlready,
                                      "peek ER 010000 5B", "peek IR 24 2C"});
    row("ER B: already 1", {"poke ER 010000 5B", "ZamBEX=1", "click ZamenaBitEX", "run", "requests CA01000000",
                            "pane ER " + kAlready});
    row("ER C: 5B bit 1 to 0", {"poke ER 1 5B", "ER=1 FF", "BitEx=1", "click ZamenaBitEX", "run",
                                "requests CA00000100 " + guardOn + " CB00000159 CA00000100 " + guardOff,
                                "peek ER 1 59", "field ER 000001 59"});
    row("ER D: already 0", {"poke ER 010000 59", "BitEx=2", "click ZamenaBitEX", "run", "requests CA01000000",
                            "pane ER " + kAlready});

    // Emulation: bit 6 of IR 000024, then bit 7 of ER 010041 (24 and 41: all bits 0).
    row("emulation on, all bits 0", {"click VklEmul", "run", "requests " + emulationOn,
        "peek IR 24 64", "peek ER 010041 C1", "field ER 010041 C1", "lines IR 6"});
    row("emulation off after on", {"click VklEmul", "run", "requests " + emulationOn, "click viklEmul", "run",
        "requests " + rIr + " C900002424 " + rIr + " " + rEr41 + " C800002400 C90000242C C800002400 CB01004141 "
            + rEr41 + " " + guardOff,
        "peek IR 24 24", "peek ER 010041 41"});
    row("emulation on, bit 6 already 1", {"poke IR 24 64", "click VklEmul", "run", "pane IR " + kAlready,
        "requests " + rIr + " " + rEr41 + " C800002400 C90000246C C800002400 CB010041C1 " + rEr41
            + " C800002400 C900002464 C800002400",
        "peek IR 24 64", "peek ER 010041 C1"});
    row("emulation on, guard bit already 1", {"poke IR 24 2C", "click VklEmul", "run",
        "requests " + rIr + " C90000246C " + rIr + " " + rEr41 + " " + rIr + " CB010041C1 " + rEr41,
        "peek IR 24 6C", "peek ER 010041 C1"});
    row("emulation off, both already off", {"click viklEmul", "run", "requests " + rIr + " " + rEr41,
                                            "pane IR " + kAlready, "pane ER " + kAlready});

    // An ER write chain that stops between setting its guard bit and clearing it says so
    // once in the IR pane; one that stops before the bit was written, or ends, does not.
    const QStringList guardUp{"ER=010000 5B", "key ER Enter", kPreamble, "< C0", "> C800002400", "< C8 24 00",
                              kPreamble, "< C0", "> C90000242C", "< C9 00 00", kPreamble, "< C0", "> C800002400",
                              "< C8 2C 00", kPreamble, "< C0", "> CB0100005B"};
    const QString leftSet = QStringLiteral("pane IR Бит 3 IR 000024 остался установлен: запись в ER разрешена");
    row("guard left set: the ER write gets no answer", guardUp + QStringList{"<", "-", leftSet, "lines IR 3", "<", "lines IR 3"});
    row("guard left set: the ER read-back is refused",
        guardUp + QStringList{"< CB 00 00", kPreamble, "< C0", "> CA01000000", "< CA 00 FF", "-", leftSet});
    row("guard left set: a key gives the chain up", guardUp + QStringList{"key IM Other", "-", leftSet, "lines IR 3"});
    row("guard not yet written: nothing to say",
        {"ER=010000 5B", "key ER Enter", kPreamble, "< C0", "> C800002400", "< C8 24 00", kPreamble, "<", "-",
         "lines IR 1"});
    row("guard cleared at the end: nothing to say",
        {"poke ER 010000 5A", "ZamBEX=1", "click ZamenaBitEX", "run", "peek IR 24 24", "lines IR 4"});

    // A chain stopped for want of a reply must not carry on under a new request:
    // the guard's IR read got no answer, and the ER bit button then writes guarded.
    row("ER bit button after a guard left waiting",
        {"ER=010000 AB", "key ER Enter", kPreamble, kIrLog, "< C0", "> C800002400", "<", "phase Idle",
         "poke ER 010000 5A", "ZamBEX=1", "click ZamenaBitEX", "run",
         "requests C800002400 CA01000000 " + guardOn + " CB0100005B CA01000000 " + guardOff, "peek ER 010000 5B"});
    // The ER bit replacement's read got no answer: a plain read typed next stays a read.
    row("key after an ER bit replacement left waiting",
        {"poke ER 010000 5A", "ZamBEX=1", "click ZamenaBitEX", kPreamble, "< C0", "> CA01000000", "<",
         "key ER Enter", "run",
         "requests CA01000000 CA01000000", "peek ER 010000 5A"});
}

void TestMemoryExchange::script()
{
    QFETCH(QStringList, script);
    Harness h;
    h.device.setErWriteGuard(true);
    const QString failure = runScript(h, script);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_APPLESS_MAIN(TestMemoryExchange)
#include "test_memoryexchange.moc"
