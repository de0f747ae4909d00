#pragma once
// Whether a terminal device is the controlling terminal of a running session: a getty's
// serial console, a shell's pty. The kernel tells a process only about its own
// controlling terminal (TIOCGSID), so this reads what every process shows in
// /proc/<pid>/stat, as ps does.

#include <string>
#include <sys/types.h>

namespace commport::backend {

// `procRoot` is where proc is mounted; tests may hand in a tree of their own.
bool IsSessionTerminal(dev_t device, const std::string& procRoot = "/proc");

// The controlling terminal field (tty_nr) of a /proc/<pid>/stat line, or 0 (none, or
// a line that cannot be read).
unsigned long ControllingTerminalOf(const std::string& statLine);

} // namespace commport::backend
