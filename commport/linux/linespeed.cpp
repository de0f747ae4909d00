// Must not see <termios.h>: <asm/termbits.h> defines the same names differently.
#include "linespeed.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace commport::posix {

int SetCustomLineSpeed(int fd, unsigned speed)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT)); // input speed follows the output speed
    t.c_cflag |= BOTHER;
    t.c_ospeed = speed;
    t.c_ispeed = speed;
    if (::ioctl(fd, TCSETS2, &t) != 0)
        return errno;
    return 0;
}

int ReadLineSpeed(int fd, unsigned& speed)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    speed = t.c_ospeed;
    return 0;
}

} // namespace commport::posix
