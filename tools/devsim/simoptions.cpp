#include "simoptions.h"

#include "dixdevice.h"
#include "erkdevice.h"
#include "qldevice.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace devsim {

namespace {

const char* const kDescription = R"(Simulates one device on a pseudo-terminal published as a virtual COM port
(a symbolic link to the terminal), and prints "ready <terminal> <link>" once it
listens. SIGINT, SIGTERM and SIGHUP remove the link and end it.

Families:
  dix  dispenser controller, hoses 1..7, every address 01..7F unless --address.
       Status 60 aa 8h: aa 8h 00, litres delivered (three BCD bytes, two
       decimals), state (00 passive, 01 active, 02 dispensing, 03 paused,
       04 done, 05 stopped; +10 valve open), checksum. Price read 60 aa 5H
       (H = hose + 8): 8 bytes, roubles and kopecks in bytes 3 and 4.
       Totalisers 60 aa 7h: 16 bytes. Control and dispensing (1h), price write
       (5h) and totaliser reset (7H): one byte, 00 done or FF rejected.
       Version 60 aa 00 cs 30: 06, then after the lone 31 the version text in
       code page 866 and one closing byte. Orders are delivered at once unless
       --flow is given.
  ql   memory controller, every address 01..7F unless --address. The access
       preamble 60 aa 00 cs C0 gets C0; then one five-byte area request (C8/C9
       IR, CA/CB ER, C4/C5 IM, CC/CD IF, three address bytes, a value) gets
       code, value, 00, or FF last for an address outside the area, a byte
       named by --bad-address, or (with --er-guard) an ER write while bit 3 of
       IR 000024 is clear. IR, IM and IF hold 64 KiB, ER 128 KiB; a byte never
       written reads as the low byte of its address.
  erk  three-phase meter at address 01 unless --address. Readings 91-93 (V),
       A1-A3 (A), 81-83 (W): code, six characters, checksum. Settings read
       with 35-37, 25-27 (corrections), 05-07, 15-17, 55-57 (limits): two
       bytes and a checksum; written with the code less 4 and a data frame of
       two bytes. Indication 71 and address 41 take a one-byte data frame.
       Writes get one byte: 00 written, FF refused (every write with
       --refuse-writes). Address read: 60 F0 45.
       Unknown codes get no reply.

Conversation (--conversation COM7,COM8): the simulator plays both sides of a line
for the console's line monitor. Every --every milliseconds the station's next
request (a built-in round of the family's requests, one of them with a bad
checksum for dix) goes out on the first port, and the device's reply, with
--delay, --split, --bad-checksum and --silent as usual, on the second. Nothing
is read from either port. It prints "ready <terminal> <link> <terminal> <link>".

A frame with a bad checksum gets no reply. Bytes that do not start a request
are dropped, and the device resynchronises on the next 60; a frame left
incomplete for 250 ms is dropped too.)";

std::optional<int> nonNegative(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? std::optional<int>(value) : std::nullopt;
}

// "IR:000030": an area and an address inside the 24-bit address space.
std::optional<QlDevice::Cell> memoryCell(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(IR|ER|IM|IF):([0-9A-Fa-f]{1,6})$"));
    const auto match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    static const QStringList areas{QStringLiteral("IR"), QStringLiteral("ER"), QStringLiteral("IM"), QStringLiteral("IF")};
    return QlDevice::Cell{QlDevice::Area(areas.indexOf(match.captured(1))), match.captured(2).toUInt(nullptr, 16)};
}

} // namespace

ParsedOptions parseOptions(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption family(QStringLiteral("family"), QStringLiteral("Device family: dix, ql or erk (default dix)."), QStringLiteral("name"), QStringLiteral("dix"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Virtual port name, COM1..COM255 (default COM9). The console's port list shows only names below COM10: type a higher one into its port box and press Enter, or start it with qldixw --port COMn."), QStringLiteral("COMn"), QStringLiteral("COM9"));
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Publish the port at this path instead of the virtual ports directory."), QStringLiteral("path"));
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Controller address to answer, hex 01..7F."), QStringLiteral("XX"));
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Reply this many milliseconds after the request."), QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Never answer (the device still takes every request)."));
    const QCommandLineOption badChecksum(QStringLiteral("bad-checksum"), QStringLiteral("Corrupt the last byte of every reply of two bytes or more."));
    const QCommandLineOption split(QStringLiteral("split"), QStringLiteral("Send the first half of each reply, the rest this many milliseconds later."), QStringLiteral("ms"));
    const QCommandLineOption trailing(QStringLiteral("trailing"), QStringLiteral("Send these bytes after each reply, --trailing-after milliseconds after its last byte."), QStringLiteral("hex"));
    const QCommandLineOption trailingAfter(QStringLiteral("trailing-after"), QStringLiteral("How long after a reply the --trailing bytes follow (default 2)."), QStringLiteral("ms"), QStringLiteral("2"));
    const QCommandLineOption unsolicited(QStringLiteral("unsolicited"), QStringLiteral("Send these bytes, unasked, every --unsolicited-every milliseconds."), QStringLiteral("hex"));
    const QCommandLineOption unsolicitedEvery(QStringLiteral("unsolicited-every"), QStringLiteral("Period of the unsolicited bytes (default 1000)."), QStringLiteral("ms"), QStringLiteral("1000"));
    const QCommandLineOption flow(QStringLiteral("flow"), QStringLiteral("dix: deliver orders at this many litres per second (default 0: at once)."), QStringLiteral("l/s"), QStringLiteral("0"));
    const QCommandLineOption refuseWrites(QStringLiteral("refuse-writes"), QStringLiteral("erk: answer every write FF (programming error) and keep the old values."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Log every request, reply and dropped byte to stderr."));
    const QCommandLineOption badAddress(QStringLiteral("bad-address"), QStringLiteral("ql: answer every request for this byte with an error, e.g. IR:000030 (repeatable)."), QStringLiteral("area:hex"));
    const QCommandLineOption erGuard(QStringLiteral("er-guard"), QStringLiteral("ql: refuse an ER write while bit 3 of IR 000024 is clear."));
    const QCommandLineOption conversation(QStringLiteral("conversation"), QStringLiteral("Play both sides of a conversation for the line monitor: the station's requests on the first port, the device's replies on the second."), QStringLiteral("COMa,COMb"));
    const QCommandLineOption every(QStringLiteral("every"), QStringLiteral("With --conversation: a request every this many milliseconds (default 500)."), QStringLiteral("ms"), QStringLiteral("500"));
    const QCommandLineOption ttyDefaults(QStringLiteral("tty-defaults"), QStringLiteral("Leave the terminal at the kernel's settings (echo, line buffering, XON/XOFF on 11/13) instead of making it raw, as a freshly plugged adapter comes up: the console must set the line up itself."));
    parser.addOptions({help, family, port, link, address, delay, silent, badChecksum, split, trailing, trailingAfter,
                       unsolicited, unsolicitedEvery, flow, refuseWrites, verbose, badAddress, erGuard, ttyDefaults,
                       conversation, every});

    ParsedOptions result;
    SimOptions& o = result.options;
    if (!parser.parse(args)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.helpText = parser.helpText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return result;
    }

    const QString familyName = parser.value(family);
    if (familyName == u"dix")
        o.family = Family::Dix;
    else if (familyName == u"ql")
        o.family = Family::Ql;
    else if (familyName == u"erk")
        o.family = Family::Erk;
    else {
        result.error = QStringLiteral("unknown family: %1 (dix, ql or erk)").arg(familyName);
        return result;
    }

    o.port = parser.value(port);
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    const auto comMatch = comName.match(o.port);
    if (!comMatch.hasMatch() || comMatch.captured(1).toInt() > 255) {
        result.error = QStringLiteral("bad port name: %1 (COM1..COM255)").arg(o.port);
        return result;
    }
    o.linkPath = parser.value(link);

    if (parser.isSet(conversation)) {
        o.conversation = parser.value(conversation).split(u',');
        for (const QString& name : o.conversation) {
            const auto match = comName.match(name);
            if (!match.hasMatch() || match.captured(1).toInt() > 255) {
                result.error = QStringLiteral("bad port name: %1 (COM1..COM255)").arg(name);
                return result;
            }
        }
        if (o.conversation.size() != 2 || o.conversation[0] == o.conversation[1]) {
            result.error = QStringLiteral("--conversation takes two different ports: COMa,COMb");
            return result;
        }
        if (!o.linkPath.isEmpty()) {
            result.error = QStringLiteral("--conversation publishes its two ports itself: no --link");
            return result;
        }
    }
    const std::optional<int> conversationMs = nonNegative(parser.value(every));
    if (!conversationMs || *conversationMs == 0) {
        result.error = QStringLiteral("bad time: %1").arg(parser.value(every));
        return result;
    }
    o.conversationEveryMs = *conversationMs;

    if (parser.isSet(address)) {
        bool ok = false;
        const QString text = parser.value(address);
        const int value = text.toInt(&ok, 16);
        if (!ok || text.size() > 2 || value < 0x01 || value > 0x7F) {
            result.error = QStringLiteral("bad address: %1 (hex 01..7F)").arg(text);
            return result;
        }
        o.address = std::uint8_t(value);
    }

    const auto delayMs = nonNegative(parser.value(delay));
    const auto everyMs = nonNegative(parser.value(unsolicitedEvery));
    if (!delayMs || !everyMs || *everyMs == 0) {
        result.error = QStringLiteral("bad time: %1").arg(!delayMs ? parser.value(delay) : parser.value(unsolicitedEvery));
        return result;
    }
    o.delayMs = *delayMs;
    o.unsolicitedEveryMs = *everyMs;
    if (parser.isSet(split)) {
        o.splitMs = nonNegative(parser.value(split));
        if (!o.splitMs) {
            result.error = QStringLiteral("bad time: %1").arg(parser.value(split));
            return result;
        }
    }

    for (const auto& [option, bytes] : {std::pair{&unsolicited, &o.unsolicited}, std::pair{&trailing, &o.trailing}}) {
        if (!parser.isSet(*option))
            continue;
        QString hex = parser.value(*option);
        hex.remove(u' ');
        static const QRegularExpression hexBytes(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
        if (!hexBytes.match(hex).hasMatch()) {
            result.error = QStringLiteral("bad bytes: %1 (pairs of hex digits)").arg(parser.value(*option));
            return result;
        }
        *bytes = QByteArray::fromHex(hex.toLatin1());
    }
    const auto trailingAfterMs = nonNegative(parser.value(trailingAfter));
    if (!trailingAfterMs) {
        result.error = QStringLiteral("bad time: %1").arg(parser.value(trailingAfter));
        return result;
    }
    o.trailingAfterMs = *trailingAfterMs;

    bool flowOk = false;
    o.litresPerSecond = parser.value(flow).toDouble(&flowOk);
    if (!flowOk || o.litresPerSecond < 0 || o.litresPerSecond > 1000) {
        result.error = QStringLiteral("bad flow: %1 (0..1000 litres per second)").arg(parser.value(flow));
        return result;
    }

    for (const QString& text : parser.values(badAddress)) {
        const std::optional<QlDevice::Cell> cell = memoryCell(text);
        if (!cell) {
            result.error = QStringLiteral("bad memory address: %1 (IR, ER, IM or IF, a colon, 1-6 hex digits)").arg(text);
            return result;
        }
        o.qlBadCells.append(*cell);
    }
    o.qlErWriteGuard = parser.isSet(erGuard);

    o.silent = parser.isSet(silent);
    o.badChecksum = parser.isSet(badChecksum);
    o.refuseWrites = parser.isSet(refuseWrites);
    o.verbose = parser.isSet(verbose);
    o.ttyDefaults = parser.isSet(ttyDefaults);
    return result;
}

std::unique_ptr<SimDevice> makeDevice(const SimOptions& options)
{
    const AddressMatch addresses = options.address ? AddressMatch(*options.address) : AddressMatch();
    switch (options.family) {
    case Family::Ql: {
        auto device = std::make_unique<QlDevice>(addresses);
        device->setErWriteGuard(options.qlErWriteGuard);
        for (const QlDevice::Cell& cell : options.qlBadCells)
            device->addBadCell(cell);
        return device;
    }
    case Family::Erk:
        return std::make_unique<ErkDevice>(options.address.value_or(0x01), options.refuseWrites);
    case Family::Dix:
        break;
    }
    return std::make_unique<DixDevice>(addresses, options.litresPerSecond);
}

} // namespace devsim
