#include "commtypes.h"

namespace commport {

unsigned BaudRateValue(TBaudRate rate)
{
    static constexpr unsigned speeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                          19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return speeds[static_cast<int>(rate)];
}

std::uint32_t EventBit(TCommEventState state)
{
    switch (state) {
    case TCommEventState::evBreak: return EV_BREAK;
    case TCommEventState::evCTS: return EV_CTS;
    case TCommEventState::evDSR: return EV_DSR;
    case TCommEventState::evError: return EV_ERR;
    case TCommEventState::evRing: return EV_RING;
    case TCommEventState::evRlsd: return EV_RLSD;
    case TCommEventState::evRxChar: return EV_RXCHAR;
    case TCommEventState::evRxFlag: return EV_RXFLAG;
    case TCommEventState::evTxEmpty: return EV_TXEMPTY;
    }
    return 0;
}

TCommEventType AllCommEvents()
{
    TCommEventType all;
    for (TCommEventState s : kAllEventStates)
        all.Include(s);
    return all;
}

std::uint32_t EventMaskOf(TCommEventType events)
{
    std::uint32_t mask = 0;
    for (TCommEventState s : kAllEventStates)
        if (events.Contains(s))
            mask |= EventBit(s);
    return mask;
}

} // namespace commport
