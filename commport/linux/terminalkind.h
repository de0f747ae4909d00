#pragma once
// What a character device is, as far as opening it as a serial port goes. A port link
// or the listed name of a ttyS port can lead to the terminal the kernel writes its
// console to: no session has it as controlling terminal, yet switching it to raw and
// reading it takes a serial login's keystrokes and puts frames into the kernel's own
// output. Some devices must not even be opened to find out: opening /dev/ptmx makes a
// new pseudo-terminal (which isatty() then accepts), /dev/tty is whatever terminal the
// console itself was started from, and a misc device such as a watchdog acts on open.

#include <string>
#include <sys/types.h>
#include <vector>

namespace commport::backend {

// Where the system describes its terminals; tests hand in trees of their own.
struct SystemRoots {
    std::string proc = "/proc";
    std::string sys = "/sys";
};

// The devices the kernel writes its console to: the device column ("major:minor") of
// proc's consoles, and the names in sysfs's class/tty/console/active looked up in the
// tty class; /dev/console itself is always one of them.
std::vector<dev_t> KernelConsoleDevices(const SystemRoots& roots);

enum class TerminalKind {
    Port,          // may be a serial port; only opening it tells for sure
    KernelConsole, // the kernel writes its console here, or a virtual console (tty0 to tty63)
    NotATerminal,  // no serial port, and not to be opened to find that out
};

// Judged from the device number alone, before anything opens the device. A device the
// tty class does not list (pseudo-terminals are not in sysfs) counts as a port here;
// the open then asks the device itself.
TerminalKind ClassifyCharacterDevice(dev_t device, const SystemRoots& roots);

} // namespace commport::backend
