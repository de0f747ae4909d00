// Kept apart from ptypair.cpp: <asm/termbits.h> clashes with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace qldixw::testing {

unsigned lineSpeed(int fd)
{
    struct termios2 t {};
    return ::ioctl(fd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}

} // namespace qldixw::testing
