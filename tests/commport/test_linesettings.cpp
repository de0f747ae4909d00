// Line settings as the device sees them after the component wrote them.
//
// A pseudo-terminal keeps speed, stop bits, flow control and the control characters,
// but always carries 8 data bits and no parity; the character format is therefore
// checked in the record the component builds, and on the device only as far as a
// pseudo-terminal goes.

#include "commtesting.h"
#include "linux/linetermios.h"

#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace commtesting;
using namespace commport;
using qldixw::testing::lineSpeed;
using namespace std::chrono_literals;

class TestCommLineSettings : public QObject {
    Q_OBJECT
private slots:
    void speeds_data();
    void speeds();
    void characterFormat_data();
    void characterFormat();
    void characterFormatOnDevice_data();
    void characterFormatOnDevice();
    void flowControl_data();
    void flowControl();
    void dsrFlowRefused();
    void everyByteBothWays_data();
    void everyByteBothWays();
    void softwareFlowControl();
    void charsAndOptions();
    void wholeRecord_data();
    void wholeRecord();
};

void TestCommLineSettings::speeds_data()
{
    QTest::addColumn<TBaudRate>("rate");
    QTest::addColumn<unsigned>("bps");
    const TBaudRate rates[] = {TBaudRate::cbr110,    TBaudRate::cbr300,    TBaudRate::cbr600,
                               TBaudRate::cbr1200,   TBaudRate::cbr2400,   TBaudRate::cbr4800,
                               TBaudRate::cbr9600,   TBaudRate::cbr14400,  TBaudRate::cbr19200,
                               TBaudRate::cbr38400,  TBaudRate::cbr56000,  TBaudRate::cbr57600,
                               TBaudRate::cbr115200, TBaudRate::cbr128000, TBaudRate::cbr256000};
    const unsigned expected[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int i = 0; i < 15; ++i)
        QTest::addRow("%u", expected[i]) << rates[i] << expected[i];
}

void TestCommLineSettings::speeds()
{
    QFETCH(TBaudRate, rate);
    QFETCH(unsigned, bps);
    PtyPair pair;
    TComm comm;
    comm.SetDeviceName(pair.portPath());

    // Stored while closed, written at Open...
    const unsigned before = lineSpeed(pair.deviceFd());
    comm.SetBaudRate(rate);
    QCOMPARE(lineSpeed(pair.deviceFd()), before);
    comm.Open();
    QCOMPARE(lineSpeed(pair.deviceFd()), bps);

    // ...and at once while open, from a custom speed to a standard one and back.
    comm.SetBaudRate(TBaudRate::cbr128000);
    QCOMPARE(lineSpeed(pair.deviceFd()), 128000u);
    comm.SetBaudRate(TBaudRate::cbr4800);
    QCOMPARE(lineSpeed(pair.deviceFd()), 4800u);
    comm.SetBaudRate(rate);
    QCOMPARE(lineSpeed(pair.deviceFd()), bps);
}

void TestCommLineSettings::characterFormat_data()
{
    QTest::addColumn<TParity>("parity");
    QTest::addColumn<TStopbits>("stopbits");
    QTest::addColumn<TDatabits>("databits");
    QTest::addColumn<int>("refusal");     // errno, 0 when the line can carry it
    QTest::addColumn<int>("size");        // CS5..CS8
    QTest::addColumn<int>("parityFlags"); // PARENB | PARODD | CMSPAR
    QTest::addColumn<bool>("twoStop");    // CSTOPB

    QTest::newRow("8N1") << TParity::paNone << TStopbits::sb10 << TDatabits::da8 << 0
                         << int(CS8) << 0 << false;
    QTest::newRow("7E1") << TParity::paEven << TStopbits::sb10 << TDatabits::da7 << 0
                         << int(CS7) << int(PARENB) << false;
    QTest::newRow("8O2") << TParity::paOdd << TStopbits::sb20 << TDatabits::da8 << 0
                         << int(CS8) << int(PARENB | PARODD) << true;
    QTest::newRow("6M1") << TParity::paMark << TStopbits::sb10 << TDatabits::da6 << 0
                         << int(CS6) << int(PARENB | PARODD | CMSPAR) << false;
    QTest::newRow("7S2") << TParity::paSpace << TStopbits::sb20 << TDatabits::da7 << 0
                         << int(CS7) << int(PARENB | CMSPAR) << true;
    QTest::newRow("5N1.5") << TParity::paNone << TStopbits::sb15 << TDatabits::da5 << 0
                           << int(CS5) << 0 << true;
    QTest::newRow("8N1.5") << TParity::paNone << TStopbits::sb15 << TDatabits::da8 << EINVAL
                           << 0 << 0 << false;
    QTest::newRow("5N2") << TParity::paNone << TStopbits::sb20 << TDatabits::da5 << EINVAL << 0
                         << 0 << false;
    QTest::newRow("4N1") << TParity::paNone << TStopbits::sb10 << TDatabits::da4 << EINVAL << 0
                         << 0 << false;
}

// The record the component writes, whatever the device then makes of it.
void TestCommLineSettings::characterFormat()
{
    QFETCH(TParity, parity);
    QFETCH(TStopbits, stopbits);
    QFETCH(TDatabits, databits);
    QFETCH(int, refusal);
    QFETCH(int, size);
    QFETCH(int, parityFlags);
    QFETCH(bool, twoStop);

    backend::LineRequest request;
    request.Parity = parity;
    request.Stopbits = stopbits;
    request.Databits = databits;
    QCOMPARE(posix::CheckLineRequest(request), refusal);
    if (refusal)
        return;

    termios t{};
    t.c_cflag = CS8 | PARENB | PARODD | CMSPAR | CSTOPB | HUPCL; // all to be replaced but HUPCL
    posix::BuildTermios(t, request);
    QCOMPARE(int(t.c_cflag & CSIZE), size);
    QCOMPARE(int(t.c_cflag & (PARENB | PARODD | CMSPAR)), parityFlags);
    QCOMPARE(bool(t.c_cflag & CSTOPB), twoStop);
    QVERIFY(t.c_cflag & HUPCL);
}

void TestCommLineSettings::characterFormatOnDevice_data()
{
    QTest::addColumn<TParity>("parity");
    QTest::addColumn<TStopbits>("stopbits");
    QTest::addColumn<TDatabits>("databits");
    QTest::addColumn<bool>("taken");
    QTest::newRow("8N1") << TParity::paNone << TStopbits::sb10 << TDatabits::da8 << true;
    QTest::newRow("8N2") << TParity::paNone << TStopbits::sb20 << TDatabits::da8 << true;
    // A pseudo-terminal carries neither parity nor fewer than 8 data bits.
    QTest::newRow("8E1") << TParity::paEven << TStopbits::sb10 << TDatabits::da8 << false;
    QTest::newRow("7N1") << TParity::paNone << TStopbits::sb10 << TDatabits::da7 << false;
    QTest::newRow("8N1.5") << TParity::paNone << TStopbits::sb15 << TDatabits::da8 << false;
}

void TestCommLineSettings::characterFormatOnDevice()
{
    QFETCH(TParity, parity);
    QFETCH(TStopbits, stopbits);
    QFETCH(TDatabits, databits);
    QFETCH(bool, taken);

    PtyPair pair;
    TComm comm;
    comm.SetDeviceName(pair.portPath());
    comm.SetParity(parity);
    comm.SetStopbits(stopbits);
    comm.SetDatabits(databits);
    try {
        comm.Open();
        QVERIFY(taken);
    } catch (const ECommError& e) {
        QVERIFY2(!taken, e.what());
        QCOMPARE(QString::fromStdString(e.what()),
                 QStringLiteral("Error updating DataControlBlock (Error: %1) ").arg(EINVAL));
        // Raised with the port open and its thread running; Close releases both.
        QVERIFY(comm.IsOpen());
        QVERIFY(comm.EventThread());
        return;
    }
    QCOMPARE(bool(portSettings(pair).c_cflag & CSTOPB), stopbits == TStopbits::sb20);
    QCOMPARE(int(portSettings(pair).c_cflag & CSIZE), int(CS8));
}

void TestCommLineSettings::flowControl_data()
{
    QTest::addColumn<TFlowControl>("flow");
    QTest::addColumn<int>("cflags"); // CRTSCTS expected
    QTest::addColumn<int>("iflags"); // IXON | IXOFF | IXANY expected

    // The device starts with every handshake flag on; only what the choice asks for stays.
    QTest::newRow("fcDefault clears them") << TFlowControl::fcDefault << 0 << 0;
    QTest::newRow("fcNone") << TFlowControl::fcNone << 0 << 0;
    QTest::newRow("fcCTS") << TFlowControl::fcCTS << int(CRTSCTS) << 0;
    QTest::newRow("fcSoftware") << TFlowControl::fcSoftware << 0 << int(IXON | IXOFF);
}

void TestCommLineSettings::flowControl()
{
    QFETCH(TFlowControl, flow);
    QFETCH(int, cflags);
    QFETCH(int, iflags);

    PtyPair pair;
    termios start = portSettings(pair);
    start.c_cflag |= CRTSCTS;
    start.c_iflag |= IXON | IXOFF | IXANY;
    QCOMPARE(::tcsetattr(pair.deviceFd(), TCSANOW, &start), 0);

    TComm comm;
    comm.SetDeviceName(pair.portPath());
    comm.SetFlowControl(flow);
    comm.Open();
    const termios device = portSettings(pair);
    QCOMPARE(int(device.c_cflag & CRTSCTS), cflags);
    QCOMPARE(int(device.c_iflag & (IXON | IXOFF | IXANY)), iflags);

    // Another line setting written later leaves the handshake as it is.
    comm.SetBaudRate(TBaudRate::cbr2400);
    QCOMPARE(int(portSettings(pair).c_cflag & CRTSCTS), cflags);
    QCOMPARE(int(portSettings(pair).c_iflag & (IXON | IXOFF | IXANY)), iflags);
}

// DSR output flow control has no counterpart here: refused, the line left as it was.
void TestCommLineSettings::dsrFlowRefused()
{
    PtyPair pair(PtyPair::Start::KernelDefaults);
    const termios before = portSettings(pair);
    TComm comm;
    comm.SetDeviceName(pair.portPath());
    comm.SetFlowControl(TFlowControl::fcDTR);
    try {
        comm.Open();
        QFAIL("fcDTR was taken");
    } catch (const ECommError& e) {
        QCOMPARE(e.Kind, CommErrorKind::Unsupported);
        QCOMPARE(e.ErrorCode, -1);
        QVERIFY2(QString::fromStdString(e.what()).contains(QStringLiteral("DSR")), e.what());
        QVERIFY(QString::fromStdString(e.what()).endsWith(QStringLiteral(" (Error: -1) ")));
    }
    QCOMPARE(portSettings(pair).c_iflag, before.c_iflag);
    QCOMPARE(portSettings(pair).c_lflag, before.c_lflag);

    // Another choice is taken at once on the port left open.
    QVERIFY(comm.IsOpen());
    comm.SetFlowControl(TFlowControl::fcNone);
    QVERIFY(!(portSettings(pair).c_iflag & IXON));
}

namespace {

std::string everyByte()
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(char(b));
    return all;
}

// Every flag that translates, stops or holds back bytes, on both sides of the line.
void turnEveryTranslationOn(PtyPair& pair)
{
    termios t = portSettings(pair);
    t.c_iflag |= IXON | IXOFF | IXANY | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL |
                 IUTF8 | BRKINT | IGNPAR | PARMRK | INPCK;
    t.c_oflag |= OPOST | ONLCR | OCRNL | OLCUC | ONLRET | ONOCR;
    t.c_lflag |= ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ISIG | IEXTEN;
    t.c_cflag |= CRTSCTS;
    QCOMPARE(::tcsetattr(pair.deviceFd(), TCSANOW, &t), 0);
}

} // namespace

void TestCommLineSettings::everyByteBothWays_data()
{
    QTest::addColumn<TFlowControl>("flow");
    QTest::addColumn<bool>("everyTranslationOn"); // else the kernel's defaults
    QTest::newRow("fcDefault, kernel defaults") << TFlowControl::fcDefault << false;
    QTest::newRow("fcNone, kernel defaults") << TFlowControl::fcNone << false;
    QTest::newRow("fcDefault, every translation on") << TFlowControl::fcDefault << true;
    QTest::newRow("fcNone, every translation on") << TFlowControl::fcNone << true;
}

// A port as a freshly plugged adapter brings it: whatever it held, 0x00..0xFF pass both
// ways unchanged, and 0x11/0x13 from the device are data, not handshake.
void TestCommLineSettings::everyByteBothWays()
{
    QFETCH(TFlowControl, flow);
    QFETCH(bool, everyTranslationOn);
    PtyPair pair(PtyPair::Start::KernelDefaults);
    if (everyTranslationOn)
        turnEveryTranslationOn(pair);

    CallQueue gui;
    HandlerLog log;
    TComm comm;
    wire(comm, pair, gui);
    comm.SetFlowControl(flow);
    log.attach(comm);
    comm.Open();

    const std::string all = everyByte();
    QVERIFY(pair.send(all));
    QVERIFY2(gui.runUntil([&] { return !log.rxCounts.isEmpty() && log.rxCounts.last() >= 256; }, 10s),
             qPrintable(log.calls.join(' ')));
    std::string got(300, '\0');
    QCOMPARE(comm.Read(got.data(), 300), 256);
    QVERIFY(got.substr(0, 256) == all);

    QCOMPARE(comm.Write(all.data(), 256), 256);
    QVERIFY(pair.receive(256, 10s) == all);
    QVERIFY(pair.receive(1, 50ms).empty()); // no echo, no CR added

    // A lone XOFF from the device is a byte to read and stops nothing.
    log.rxCounts.clear();
    QVERIFY(pair.send("\x13"));
    QVERIFY(gui.runUntil([&] { return !log.rxCounts.isEmpty(); }, 10s));
    char byte = 0;
    QCOMPARE(comm.Read(&byte, 1), 1);
    QCOMPARE(int(byte), 0x13);
    QCOMPARE(comm.Write("after", 5), 5);
    QCOMPARE(QString::fromStdString(pair.receive(5, 10s)), QStringLiteral("after"));

    const termios t = portSettings(pair);
    QCOMPARE(int(t.c_iflag & (IXON | IXOFF | IXANY)), 0);
    QCOMPARE(int(t.c_cflag & CRTSCTS), 0);
    QCOMPARE(int(t.c_cc[VMIN]), 1);
    QCOMPARE(int(t.c_cc[VTIME]), 0);
    QVERIFY(t.c_cflag & CLOCAL);
    QVERIFY(t.c_cflag & CREAD);
}

// XON/XOFF only when asked for, with the component's own characters; gone again when
// the choice goes back to the default.
void TestCommLineSettings::softwareFlowControl()
{
    PtyPair pair(PtyPair::Start::KernelDefaults);
    CallQueue gui;
    HandlerLog log;
    TComm comm;
    wire(comm, pair, gui);
    log.attach(comm);
    comm.EventChars().SetXonChar(0x05);
    comm.EventChars().SetXoffChar(0x06);
    comm.SetFlowControl(TFlowControl::fcSoftware);
    comm.Open();

    QVERIFY(pair.send("\x06"));
    gui.runFor(50ms);
    comm.Write("held", 4); // kept or taken by the kernel: either way it must wait
    QVERIFY(pair.receive(4, 200ms).empty());
    QVERIFY(pair.send("\x05"));
    QCOMPARE(QString::fromStdString(pair.receive(4, 10s)), QStringLiteral("held"));
    // The handshake characters are the line's; the usual ones are plain data now.
    QVERIFY(pair.send("\x13\x11"));
    QVERIFY(gui.runUntil([&] { return !log.rxCounts.isEmpty() && log.rxCounts.last() == 2; }, 10s));
    char got[4] = {};
    QCOMPARE(comm.Read(got, 4), 2);
    QCOMPARE(QByteArray(got, 2), QByteArray("\x13\x11"));

    comm.SetFlowControl(TFlowControl::fcDefault);
    log.rxCounts.clear();
    QVERIFY(pair.send("\x06"));
    QVERIFY(gui.runUntil([&] { return !log.rxCounts.isEmpty(); }, 10s));
    QCOMPARE(comm.Read(got, 4), 1);
    QCOMPARE(int(got[0]), 0x06);
    QCOMPARE(comm.Write("free", 4), 4);
    QCOMPARE(QString::fromStdString(pair.receive(4, 10s)), QStringLiteral("free"));
}

void TestCommLineSettings::charsAndOptions()
{
    PtyPair pair;
    TComm comm;
    comm.SetDeviceName(pair.portPath());
    comm.Open();
    QCOMPARE(int(portSettings(pair).c_cc[VSTART]), 0x11);
    QCOMPARE(int(portSettings(pair).c_cc[VSTOP]), 0x13);
    QVERIFY(!(portSettings(pair).c_iflag & INPCK));

    comm.EventChars().SetXonChar(0x05);
    comm.EventChars().SetXoffChar(0x06);
    comm.SetOptions({TCommOption::coParityCheck, TCommOption::coNullStrip});
    QCOMPARE(int(portSettings(pair).c_cc[VSTART]), 0x05);
    QCOMPARE(int(portSettings(pair).c_cc[VSTOP]), 0x06);
    QVERIFY(portSettings(pair).c_iflag & INPCK);

    comm.SetOptions({TCommOption::coNullStrip});
    QVERIFY(!(portSettings(pair).c_iflag & INPCK));
}

namespace {

// The record the port is opened with in wholeRecord: what the line then carries.
TLineSettings openedWith()
{
    TLineSettings s;
    s.FlowControl = TFlowControl::fcNone;
    return s;
}

bool sameTermios(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc);
}

} // namespace

void TestCommLineSettings::wholeRecord_data()
{
    QTest::addColumn<TLineSettings>("record");
    QTest::addColumn<CommErrorKind>("refusal"); // None: taken
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");          // what LastError says; "*": the system's words

    const TLineSettings opened = openedWith();
    TLineSettings all = opened;
    all.BaudRate = TBaudRate::cbr19200;
    all.Stopbits = TStopbits::sb20;
    all.FlowControl = TFlowControl::fcCTS;
    all.Options = {TCommOption::coParityCheck};
    all.XonChar = 0x05;
    all.XoffChar = 0x06;
    QTest::newRow("every value at once") << all << CommErrorKind::None << 0 << QString();
    QTest::newRow("the record the line has") << opened << CommErrorKind::None << 0 << QString();

    // Each refused record also asks for a new speed, which the device would take: the
    // line must not keep it. A pseudo-terminal takes all but the character format, or
    // (some kernels, when that leaves nothing to change) refuses the whole call.
    TLineSettings sevenBits = opened;
    sevenBits.BaudRate = TBaudRate::cbr19200;
    sevenBits.Databits = TDatabits::da7;
    QTest::newRow("7 data bits, taken in part") << sevenBits << CommErrorKind::SettingRefused << EINVAL
                                                << "*";
    TLineSettings parity = opened;
    parity.BaudRate = TBaudRate::cbr57600;
    parity.FlowControl = TFlowControl::fcSoftware;
    parity.XonChar = 0x05;
    parity.Parity = TParity::paEven;
    QTest::newRow("parity, taken in part") << parity << CommErrorKind::SettingRefused << EINVAL
                                           << "*";
    TLineSettings oneAndAHalf = opened;
    oneAndAHalf.BaudRate = TBaudRate::cbr128000;
    oneAndAHalf.Stopbits = TStopbits::sb15;
    QTest::newRow("1.5 stop bits with 8 data bits") << oneAndAHalf << CommErrorKind::SettingRefused << EINVAL
                                                    << QString::fromLocal8Bit(std::strerror(EINVAL));
    TLineSettings dsr = opened;
    dsr.BaudRate = TBaudRate::cbr2400;
    dsr.FlowControl = TFlowControl::fcDTR;
    QTest::newRow("DSR handshake") << dsr << CommErrorKind::Unsupported << -1
                                   << "DSR output flow control (fcDTR) has no counterpart on Linux";
}

// A record goes on the line whole or not at all: a refusal leaves the line as it was
// and LineSettings() telling what the line carries; an equal record touches nothing.
void TestCommLineSettings::wholeRecord()
{
    QFETCH(TLineSettings, record);
    QFETCH(CommErrorKind, refusal);
    QFETCH(int, code);
    QFETCH(QString, text);

    PtyPair pair(PtyPair::Start::KernelDefaults);
    TComm comm;
    comm.SetDeviceName(pair.portPath());
    comm.SetLineSettings(openedWith());
    comm.Open();
    QCOMPARE(lineSpeed(pair.deviceFd()), 9600u);
    termios expected = portSettings(pair);
    if (record == comm.LineSettings()) {
        // Changed behind the component's back: only a write of the record undoes it.
        expected.c_cc[VMIN] = 7;
        expected.c_lflag |= ECHO;
        QCOMPARE(::tcsetattr(pair.deviceFd(), TCSANOW, &expected), 0);
        expected = portSettings(pair);
    }

    try {
        comm.SetLineSettings(record);
        QCOMPARE(refusal, CommErrorKind::None);
    } catch (const ECommError& e) {
        QVERIFY2(refusal != CommErrorKind::None, e.what());
        QCOMPARE(e.Kind, refusal);
        QCOMPARE(e.ErrorCode, code);
    }
    const termios line = portSettings(pair);
    QCOMPARE(comm.LastError().Kind, refusal);
    QCOMPARE(comm.LastError().Code, code);
    if (text == u"*")
        QVERIFY(!comm.LastError().Message.empty());
    else
        QCOMPARE(QString::fromStdString(comm.LastError().Message), text);
    if (refusal != CommErrorKind::None) {
        QVERIFY(sameTermios(line, expected));
        QCOMPARE(lineSpeed(pair.deviceFd()), 9600u);
        QVERIFY(comm.LineSettings() == openedWith());
        return;
    }
    QVERIFY(comm.LineSettings() == record);
    if (record == openedWith()) {
        QVERIFY(sameTermios(line, expected));
        return;
    }
    QCOMPARE(lineSpeed(pair.deviceFd()), 19200u);
    QVERIFY(line.c_cflag & CSTOPB);
    QVERIFY(line.c_cflag & CRTSCTS);
    QVERIFY(line.c_iflag & INPCK);
    QCOMPARE(int(line.c_cc[VSTART]), 0x05);
    QCOMPARE(int(line.c_cc[VSTOP]), 0x06);
}

QTEST_GUILESS_MAIN(TestCommLineSettings)
#include "test_linesettings.moc"
