#pragma once
// The component's line settings expressed as a termios record.

#include "commtypes.h"

#include <cstdint>
#include <termios.h>

namespace commport::posix {

struct LineRequest {
    TBaudRate baudRate = TBaudRate::cbr9600;
    TParity parity = TParity::paNone;
    TStopbits stopbits = TStopbits::sb10;
    TDatabits databits = TDatabits::da8;
    TFlowControl flowControl = TFlowControl::fcDefault;
    TCommOptions options;
    std::uint8_t xonChar = 0x11;
    std::uint8_t xoffChar = 0x13;
};

// 0, or EINVAL for a character format the line cannot carry.
//
// Stop bits: termios has one flag, CSTOPB, "more than one stop bit". With 5 data bits
// the usual UART sends 1.5 stop bits for it, with 6 to 8 data bits it sends 2. So:
//   sb10 -> CSTOPB clear, any data bits;
//   sb15 -> CSTOPB set, only with 5 data bits (refused with 6 to 8);
//   sb20 -> CSTOPB set, only with 6 to 8 data bits (refused with 5, where the line
//           would carry 1.5 instead).
// 4 data bits do not exist in termios and are refused.
int CheckLineRequest(const LineRequest& request);

// The standard speed constant for `bitsPerSecond`, or B0 when the speed needs the
// custom-speed interface.
speed_t StandardSpeed(unsigned bitsPerSecond);

// Turns `t` (as the device reported it) into a raw line with the requested format.
// The handshake flags (IXON, IXOFF, IXANY, CRTSCTS) stay exactly as reported under
// fcDefault. The speed is not touched here.
void BuildTermios(termios& t, const LineRequest& request);

} // namespace commport::posix
