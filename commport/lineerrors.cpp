#include "lineerrors.h"

#include "commtypes.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace commport::posix {

LineErrorCounts ReadLineErrorCounts(int fd)
{
    LineErrorCounts counts;
    struct serial_icounter_struct ic {};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return counts;
    counts.known = true;
    counts.frame = static_cast<std::uint32_t>(ic.frame);
    counts.overrun = static_cast<std::uint32_t>(ic.overrun);
    counts.parity = static_cast<std::uint32_t>(ic.parity);
    counts.brk = static_cast<std::uint32_t>(ic.brk);
    counts.bufferOverrun = static_cast<std::uint32_t>(ic.buf_overrun);
    return counts;
}

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

} // namespace commport::posix
