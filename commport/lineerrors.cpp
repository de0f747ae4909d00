#include "lineerrors.h"

#include "commtypes.h"

namespace commport {

std::uint32_t LineErrorFlags(const LineErrorCounts& before, const LineErrorCounts& now)
{
    if (!before.known || !now.known)
        return 0;
    std::uint32_t flags = 0;
    if (now.bufferOverrun != before.bufferOverrun)
        flags |= CE_RXOVER;
    if (now.overrun != before.overrun)
        flags |= CE_OVERRUN;
    if (now.parity != before.parity)
        flags |= CE_RXPARITY;
    if (now.frame != before.frame)
        flags |= CE_FRAME;
    if (now.brk != before.brk)
        flags |= CE_BREAK;
    return flags;
}

} // namespace commport
