#pragma once
// The component's line settings as a Win32 device control block (DCB).

#include "backend.h"

#include <windows.h>

namespace commport::win {

// 0, or ERROR_INVALID_PARAMETER for a character format a UART cannot carry: 4 data
// bits; 1.5 stop bits with other than 5 data bits; 2 stop bits with 5 data bits (the
// UART then sends 1.5). The same rule as on the termios side, so a format refused on
// one system is refused on the other.
DWORD CheckLineRequest(const backend::LineRequest& request);

// Turns `dcb` (as the device reported it) into a line that carries every byte unchanged
// in both directions with the requested format and handshake. Of the handshake the
// device had, nothing survives that could hold back or change a byte: no CTS, DSR or
// XON/XOFF gating, no DSR sensitivity, no null stripping or error-character
// replacement (unless an option asks for it), no abort on error. fcDefault is fcNone
// but for the modem lines: it leaves DTR and RTS as they were, unless the device drove
// them as a handshake, which is turned into "on".
void BuildDcb(DCB& dcb, const backend::LineRequest& request);

// What of `wanted` the device did not keep, as read back into `taken`; nullptr when it
// kept it all. A driver may round a speed within 2 percent; a pseudo-terminal under
// Wine drops formats and speeds it cannot carry while reporting success.
const char* DcbNotTaken(const DCB& wanted, const DCB& taken);

} // namespace commport::win
