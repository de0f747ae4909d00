#include "sessionterminal.h"

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>

namespace commport::backend {

unsigned long ControllingTerminalOf(const std::string& statLine)
{
    // "pid (comm) state ppid pgrp session tty_nr ...": the program's name may hold
    // blanks and parentheses, so the fields are counted from its last ')'.
    const std::size_t nameEnd = statLine.rfind(')');
    if (nameEnd == std::string::npos)
        return 0;
    std::istringstream fields(statLine.substr(nameEnd + 1));
    std::string state;
    long ppid = 0, pgrp = 0, session = 0;
    long long ttyNr = 0;
    if (!(fields >> state >> ppid >> pgrp >> session >> ttyNr) || ttyNr <= 0)
        return 0;
    return static_cast<unsigned long>(ttyNr);
}

bool IsSessionTerminal(dev_t device, const std::string& procRoot)
{
    DIR* const proc = ::opendir(procRoot.c_str());
    if (!proc)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        std::ifstream stat(procRoot + '/' + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue; // the process ended meanwhile
        const unsigned long tty = ControllingTerminalOf(line);
        // tty_nr is the kernel's 32-bit device encoding, which glibc's major() and
        // minor() read as well.
        if (tty != 0 && major(tty) == major(device) && minor(tty) == minor(device)) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

} // namespace commport::backend
