#include "linetermios.h"

#include <cerrno>

namespace commport::posix {

int CheckLineRequest(const backend::LineRequest& r)
{
    const int bits = DatabitsValue(r.Databits);
    if (bits < 5)
        return EINVAL;
    if (r.Stopbits == TStopbits::sb15 && bits != 5)
        return EINVAL;
    if (r.Stopbits == TStopbits::sb20 && bits == 5)
        return EINVAL;
    return 0;
}

speed_t StandardSpeed(unsigned bps)
{
    switch (bps) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

namespace {

tcflag_t sizeFlag(TDatabits bits)
{
    switch (bits) {
    case TDatabits::da5: return CS5;
    case TDatabits::da6: return CS6;
    case TDatabits::da7: return CS7;
    default: return CS8;
    }
}

tcflag_t parityFlags(TParity parity)
{
    switch (parity) {
    case TParity::paNone: return 0;
    case TParity::paOdd: return PARENB | PARODD;
    case TParity::paEven: return PARENB;
    case TParity::paMark: return PARENB | CMSPAR | PARODD;
    case TParity::paSpace: return PARENB | CMSPAR;
    }
    return 0;
}

} // namespace

void BuildTermios(termios& t, const backend::LineRequest& r)
{
    // A port fresh from the kernel comes up as a terminal: XON/XOFF on (0x11 and 0x13
    // are swallowed and a 0x13 from the device stops all output), CR/LF mapping, echo,
    // signals. Flags cleared one by one would leave whatever nobody thought of, so the
    // modes are built from nothing. With every input flag clear a break reads as one
    // NUL byte, and with INPCK so does a byte with a bad parity bit.
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    // With O_NONBLOCK an empty read gives EAGAIN, never a misleading 0.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | sizeFlag(r.Databits) | parityFlags(r.Parity);
    if (r.Stopbits != TStopbits::sb10)
        t.c_cflag |= CSTOPB;

    t.c_cc[VSTART] = r.XonChar;
    t.c_cc[VSTOP] = r.XoffChar;
    switch (r.FlowControl) {
    case TFlowControl::fcCTS:
        t.c_cflag |= CRTSCTS;
        break;
    case TFlowControl::fcSoftware:
        // Not IXANY: only the XON character resumes output, as the line's peer expects.
        t.c_iflag |= IXON | IXOFF;
        break;
    case TFlowControl::fcDefault:
    case TFlowControl::fcNone:
    case TFlowControl::fcDTR:
        break;
    }

    // Parity checking is the only option with a termios twin.
    if (r.Options.Contains(TCommOption::coParityCheck))
        t.c_iflag |= INPCK;
}

} // namespace commport::posix
