// Line settings on Windows, as the device side of the pseudo-terminal sees them, and
// every byte value both ways.
//
// A pseudo-terminal under Wine keeps the standard speeds, stop bits and the CTS and
// XON/XOFF handshakes; it carries no parity, no fewer than 8 data bits, no speed that
// termios has no constant for, and no DSR handshake. The component must refuse what
// was not taken, never report it as set.

#include "windows/dcb.h"
#include "wincomm.h"

using namespace wintest;
using namespace commport;

TEST_CASE(speeds)
{
    PeerDevice device;
    TComm comm;
    comm.SetDeviceName(device.name());
    comm.SetBaudRate(TBaudRate::cbr4800);
    comm.Open();
    REQUIRE_EQ(device.setting("speed"), 4800L);

    const TBaudRate rates[] = {TBaudRate::cbr110,    TBaudRate::cbr300,    TBaudRate::cbr600,
                               TBaudRate::cbr1200,   TBaudRate::cbr2400,   TBaudRate::cbr4800,
                               TBaudRate::cbr9600,   TBaudRate::cbr14400,  TBaudRate::cbr19200,
                               TBaudRate::cbr38400,  TBaudRate::cbr56000,  TBaudRate::cbr57600,
                               TBaudRate::cbr115200, TBaudRate::cbr128000, TBaudRate::cbr256000};
    int taken = 0;
    std::string notTaken;
    for (const TBaudRate rate : rates) {
        const long bps = long(BaudRateValue(rate));
        minitest::Row r(std::to_string(bps));
        comm.SetBaudRate(TBaudRate::cbr4800);
        try {
            comm.SetBaudRate(rate);
            CHECK_EQ(device.setting("speed"), bps);
            ++taken;
        } catch (const ECommError& e) {
            // Refused, never set to something else: the line keeps its last speed.
            CHECK_EQ(e.Kind, CommErrorKind::SettingRefused);
            CHECK_EQ(device.setting("speed"), 4800L);
            notTaken += " " + std::to_string(bps);
        }
    }
    // Every speed with a termios constant passes under Wine; all of them on Windows.
    CHECK(taken >= 11);
    if (!notTaken.empty()) {
        CHECK(underWine());
        minitest::note("Wine quirk: speeds without a termios constant refused on a pseudo-terminal:" + notTaken);
    }
}

TEST_CASE(characterFormat)
{
    const struct {
        const char* row;
        TParity parity;
        TStopbits stopbits;
        TDatabits databits;
        int refusal; // 0, -1: the device may not carry it, or the rule's code
        long cstopb;
    } rows[] = {
        {"8N1", TParity::paNone, TStopbits::sb10, TDatabits::da8, 0, 0},
        {"8N2", TParity::paNone, TStopbits::sb20, TDatabits::da8, 0, 1},
        // A pseudo-terminal carries neither parity nor fewer than 8 data bits.
        {"8E1", TParity::paEven, TStopbits::sb10, TDatabits::da8, -1, 0},
        {"7N1", TParity::paNone, TStopbits::sb10, TDatabits::da7, -1, 0},
        // What no UART sends is refused before the device is asked.
        {"8N1.5", TParity::paNone, TStopbits::sb15, TDatabits::da8, int(ERROR_INVALID_PARAMETER), 0},
        {"5N2", TParity::paNone, TStopbits::sb20, TDatabits::da5, int(ERROR_INVALID_PARAMETER), 0},
        {"4N1", TParity::paNone, TStopbits::sb10, TDatabits::da4, int(ERROR_INVALID_PARAMETER), 0},
    };
    PeerDevice device;
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        TComm comm;
        comm.SetDeviceName(device.name());
        comm.SetParity(row.parity);
        comm.SetStopbits(row.stopbits);
        comm.SetDatabits(row.databits);
        try {
            comm.Open();
            CHECK(row.refusal <= 0);
            CHECK_EQ(device.setting("csize"), long(DatabitsValue(row.databits)));
            CHECK_EQ(device.setting("parenb"), long(row.parity != TParity::paNone));
            CHECK_EQ(device.setting("cstopb"), row.cstopb);
        } catch (const ECommError& e) {
            CHECK(row.refusal != 0);
            CHECK_EQ(e.Kind, CommErrorKind::SettingRefused);
            if (row.refusal > 0)
                CHECK_EQ(e.ErrorCode, row.refusal);
            CHECK_EQ(std::string(e.what()).rfind("Error updating DataControlBlock (Error: ", 0), std::size_t(0));
        }
    }
}

TEST_CASE(flowControl)
{
    const struct {
        const char* row;
        TFlowControl flow;
        long crtscts, ixon, ixoff;
    } rows[] = {
        {"default", TFlowControl::fcDefault, 0, 0, 0},
        {"none", TFlowControl::fcNone, 0, 0, 0},
        {"CTS", TFlowControl::fcCTS, 1, 0, 0},
        {"software", TFlowControl::fcSoftware, 0, 1, 1},
        {"DSR", TFlowControl::fcDTR, 0, 0, 0},
    };
    PeerDevice device;
    TComm comm;
    comm.SetDeviceName(device.name());
    comm.EventChars().SetXonChar(0x05);
    comm.EventChars().SetXoffChar(0x06);
    comm.Open();
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        // From a line with every handshake on, as another program may leave it.
        comm.SetFlowControl(TFlowControl::fcSoftware);
        comm.SetFlowControl(TFlowControl::fcCTS);
        try {
            comm.SetFlowControl(row.flow);
        } catch (const ECommError& e) {
            // DSR flow control needs modem lines, which a pseudo-terminal has not.
            CHECK(row.flow == TFlowControl::fcDTR && underWine());
            CHECK_EQ(e.Kind, CommErrorKind::SettingRefused);
            minitest::note("Wine quirk: DSR output flow control not taken on a pseudo-terminal");
            continue;
        }
        CHECK_EQ(device.setting("crtscts"), row.crtscts);
        CHECK_EQ(device.setting("ixon"), row.ixon);
        CHECK_EQ(device.setting("ixoff"), row.ixoff);
        CHECK_EQ(device.setting("vstart"), 5L);
        CHECK_EQ(device.setting("vstop"), 6L);
    }
}

// The record itself, from a device that had every handshake and byte filter on: what
// survives must never hold back, swallow or change a byte unless asked to.
TEST_CASE(dcbFromAHostileDevice)
{
    const struct {
        const char* row;
        TFlowControl flow;
        TCommOptions options;
        BOOL cts, dsr, outX, inX;
        DWORD rts, dtr;
        BOOL parity, dsrSensitivity, continueOnXoff, errorChar, nullStrip;
    } rows[] = {
        {"default", TFlowControl::fcDefault, {}, 0, 0, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE, 0, 0, 0, 0, 0},
        {"none", TFlowControl::fcNone, {}, 0, 0, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE, 0, 0, 0, 0, 0},
        {"CTS", TFlowControl::fcCTS, {}, 1, 0, 0, 0, RTS_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE, 0, 0, 0, 0, 0},
        {"DSR", TFlowControl::fcDTR, {}, 0, 1, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE, 0, 0, 0, 0, 0},
        {"software", TFlowControl::fcSoftware, {}, 0, 0, 1, 1, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE, 0, 0, 0, 0, 0},
        {"every option",
         TFlowControl::fcNone,
         {TCommOption::coParityCheck, TCommOption::coDsrSensitivity, TCommOption::coIgnoreXOff,
          TCommOption::coErrorChar, TCommOption::coNullStrip},
         0, 0, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE, 1, 1, 1, 1, 1},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        dcb.fBinary = FALSE;
        dcb.fAbortOnError = TRUE;
        dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = TRUE;
        dcb.fDsrSensitivity = dcb.fTXContinueOnXoff = dcb.fErrorChar = dcb.fNull = dcb.fParity = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        backend::LineRequest request;
        request.BaudRate = TBaudRate::cbr4800;
        request.Stopbits = TStopbits::sb20;
        request.FlowControl = row.flow;
        request.Options = row.options;
        win::BuildDcb(dcb, request);
        CHECK_EQ(dcb.BaudRate, DWORD(4800));
        CHECK_EQ(int(dcb.StopBits), TWOSTOPBITS);
        CHECK_EQ(int(dcb.ByteSize), 8);
        CHECK_EQ(int(dcb.Parity), NOPARITY);
        CHECK(dcb.fBinary);
        CHECK(!dcb.fAbortOnError);
        CHECK_EQ(BOOL(dcb.fOutxCtsFlow), row.cts);
        CHECK_EQ(BOOL(dcb.fOutxDsrFlow), row.dsr);
        CHECK_EQ(BOOL(dcb.fOutX), row.outX);
        CHECK_EQ(BOOL(dcb.fInX), row.inX);
        CHECK_EQ(DWORD(dcb.fRtsControl), row.rts);
        CHECK_EQ(DWORD(dcb.fDtrControl), row.dtr);
        CHECK_EQ(BOOL(dcb.fParity), row.parity);
        CHECK_EQ(BOOL(dcb.fDsrSensitivity), row.dsrSensitivity);
        CHECK_EQ(BOOL(dcb.fTXContinueOnXoff), row.continueOnXoff);
        CHECK_EQ(BOOL(dcb.fErrorChar), row.errorChar);
        CHECK_EQ(BOOL(dcb.fNull), row.nullStrip);
    }
}

// A freshly made pseudo-terminal comes up as a terminal (echo, line editing, XON/XOFF,
// CR/LF mapping); after Open every byte passes unchanged both ways all the same.
TEST_CASE(everyByteBothWays)
{
    const struct {
        const char* row;
        PeerDevice::Start start;
        TFlowControl flow;
    } rows[] = {
        {"raw line, default handshake", PeerDevice::Start::Raw, TFlowControl::fcDefault},
        {"terminal defaults, default handshake", PeerDevice::Start::KernelDefaults, TFlowControl::fcDefault},
        {"terminal defaults, no handshake", PeerDevice::Start::KernelDefaults, TFlowControl::fcNone},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        PeerDevice device(row.start);
        CallQueue gui;
        std::string received; // outlives the port, whose close may still deliver
        TComm comm;
        wire(comm, device, gui);
        comm.SetFlowControl(row.flow);
        comm.OnRxChar = [&](TCustomComm* sender, int count) {
            std::string chunk(std::size_t(count), '\0');
            const int n = sender->Read(chunk.data(), count);
            if (n > 0)
                received.append(chunk.data(), std::size_t(n));
        };
        comm.Open();
        CHECK_EQ(device.setting("icanon"), 0L);
        CHECK_EQ(device.setting("echo"), 0L);
        CHECK_EQ(device.setting("isig"), 0L);
        CHECK_EQ(device.setting("ixon"), 0L);
        CHECK_EQ(device.setting("icrnl"), 0L);
        CHECK_EQ(device.setting("istrip"), 0L);
        CHECK_EQ(device.setting("opost"), 0L);

        const std::string bytes = everyByte(4);
        // Out: the component writes, the device reads.
        CHECK_EQ(comm.Write(bytes.data(), int(bytes.size())), int(bytes.size()));
        CHECK(device.receive(bytes.size()) == bytes);
        // In: the device writes, the handler reads.
        device.send(bytes);
        CHECK(gui.runUntil([&] { return received.size() >= bytes.size(); }, std::chrono::seconds(10)));
        CHECK(received == bytes);
    }
}
