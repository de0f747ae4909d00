// Preloaded into a peer terminal program that gives up on a port whose modem lines
// cannot be read: a pseudo-terminal has none, so the modem-line requests that fail
// with ENOTTY succeed here, reading DSR, CTS and carrier as on, and every other request
// goes through untouched. Only benchmarks use it, to feed that program a pseudo-terminal.

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <sys/ioctl.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    using Real = int (*)(int, unsigned long, ...);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ioctl"));
    const int result = real(fd, request, argument);
    const bool modemLines = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
    if (result < 0 && errno == ENOTTY && modemLines) {
        if (request == TIOCMGET && argument)
            *static_cast<int*>(argument) = TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;
        return 0;
    }
    return result;
}
