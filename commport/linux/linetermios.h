#pragma once
// The component's line settings expressed as a termios record.

#include "backend.h"

#include <termios.h>

namespace commport::posix {

// 0, or EINVAL for a character format the line cannot carry.
//
// Stop bits: termios has one flag, CSTOPB, "more than one stop bit". With 5 data bits
// the usual UART sends 1.5 stop bits for it, with 6 to 8 data bits it sends 2. So:
//   sb10 -> CSTOPB clear, any data bits;
//   sb15 -> CSTOPB set, only with 5 data bits (refused with 6 to 8);
//   sb20 -> CSTOPB set, only with 6 to 8 data bits (refused with 5, where the line
//           would carry 1.5 instead).
// 4 data bits do not exist in termios and are refused.
int CheckLineRequest(const backend::LineRequest& request);

// The standard speed constant for `bitsPerSecond`, or B0 when the speed needs the
// custom-speed interface.
speed_t StandardSpeed(unsigned bitsPerSecond);

// Turns `t` (as the device reported it) into a raw line with the requested format and
// handshake. Of what the device reported only the modem-control flags of c_cflag that
// the request does not name survive (HUPCL, the speed bits); every input, output and
// local mode is set from the request alone. The speed is not touched here. fcDTR has
// no termios flag and must be refused before.
void BuildTermios(termios& t, const backend::LineRequest& request);

} // namespace commport::posix
