#include "dcb.h"

namespace commport::win {

namespace {

constexpr unsigned kSpeedTolerancePercent = 2;

BYTE stopBitsCode(TStopbits stopbits)
{
    switch (stopbits) {
    case TStopbits::sb10: return ONESTOPBIT;
    case TStopbits::sb15: return ONE5STOPBITS;
    case TStopbits::sb20: return TWOSTOPBITS;
    }
    return ONESTOPBIT;
}

BYTE parityCode(TParity parity)
{
    switch (parity) {
    case TParity::paNone: return NOPARITY;
    case TParity::paOdd: return ODDPARITY;
    case TParity::paEven: return EVENPARITY;
    case TParity::paMark: return MARKPARITY;
    case TParity::paSpace: return SPACEPARITY;
    }
    return NOPARITY;
}

} // namespace

DWORD CheckLineRequest(const backend::LineRequest& request)
{
    const int bits = DatabitsValue(request.Databits);
    if (bits < 5)
        return ERROR_INVALID_PARAMETER;
    if (request.Stopbits == TStopbits::sb15 && bits != 5)
        return ERROR_INVALID_PARAMETER;
    if (request.Stopbits == TStopbits::sb20 && bits == 5)
        return ERROR_INVALID_PARAMETER;
    return 0;
}

void BuildDcb(DCB& dcb, const backend::LineRequest& request)
{
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = BaudRateValue(request.BaudRate);
    dcb.ByteSize = static_cast<BYTE>(DatabitsValue(request.Databits));
    dcb.Parity = parityCode(request.Parity);
    dcb.StopBits = stopBitsCode(request.Stopbits);
    dcb.XonChar = static_cast<char>(request.XonChar);
    dcb.XoffChar = static_cast<char>(request.XoffChar);
    // Windows takes no other mode.
    dcb.fBinary = TRUE;
    // With it a line error stops every read and write until the next ClearCommError;
    // the errors are counted by the event thread instead.
    dcb.fAbortOnError = FALSE;

    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (request.FlowControl == TFlowControl::fcDefault) {
        if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
        if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE)
            dcb.fDtrControl = DTR_CONTROL_ENABLE;
    } else {
        // A chosen handshake raises DTR, as the termios side does. RTS stays as the
        // driver had it (on after open), or is driven by the CTS handshake.
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
    }
    switch (request.FlowControl) {
    case TFlowControl::fcCTS:
        // Both directions, as CRTSCTS is: CTS holds our output, RTS tells the device
        // when our input queue fills.
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        break;
    case TFlowControl::fcDTR:
        dcb.fOutxDsrFlow = TRUE;
        break;
    case TFlowControl::fcSoftware:
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        // XOFF goes out when 1024 bytes of room are left in the input queue, XON when it
        // has drained to 1024 bytes: a quarter of the 4096 a serial driver keeps.
        dcb.XonLim = 1024;
        dcb.XoffLim = 1024;
        break;
    case TFlowControl::fcDefault:
    case TFlowControl::fcNone:
        break;
    }

    const TCommOptions& options = request.Options;
    dcb.fParity = options.Contains(TCommOption::coParityCheck) ? TRUE : FALSE;
    dcb.fDsrSensitivity = options.Contains(TCommOption::coDsrSensitivity) ? TRUE : FALSE;
    // Without it only XON resumes output held by XOFF, as the device expects.
    dcb.fTXContinueOnXoff = options.Contains(TCommOption::coIgnoreXOff) ? TRUE : FALSE;
    dcb.fErrorChar = options.Contains(TCommOption::coErrorChar) ? TRUE : FALSE;
    dcb.fNull = options.Contains(TCommOption::coNullStrip) ? TRUE : FALSE;
}

const char* DcbNotTaken(const DCB& wanted, const DCB& taken)
{
    const unsigned long diff =
        taken.BaudRate > wanted.BaudRate ? taken.BaudRate - wanted.BaudRate : wanted.BaudRate - taken.BaudRate;
    if (diff * 100 > static_cast<unsigned long>(wanted.BaudRate) * kSpeedTolerancePercent)
        return "line speed not taken";
    if (taken.ByteSize != wanted.ByteSize || taken.Parity != wanted.Parity || taken.StopBits != wanted.StopBits)
        return "character format not taken";
    if (taken.fOutxCtsFlow != wanted.fOutxCtsFlow || taken.fOutxDsrFlow != wanted.fOutxDsrFlow ||
        taken.fOutX != wanted.fOutX || taken.fInX != wanted.fInX)
        return "flow control not taken";
    return nullptr;
}

} // namespace commport::win
