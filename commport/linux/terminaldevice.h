#pragma once
// OpenDevice with the places the system describes its terminals in, so tests can make
// a pseudo-terminal look like the kernel's console without touching the real one.

#include "backend.h"
#include "terminalkind.h"

namespace commport::backend {

// Links are resolved before anything is opened; the kernel's console is refused as
// SystemConsole, /dev/tty, /dev/ptmx and devices of other classes as NotAPort, all
// without opening them.
std::unique_ptr<Device> OpenTerminalDevice(const std::string& path, SystemError& error, const SystemRoots& roots);

} // namespace commport::backend
