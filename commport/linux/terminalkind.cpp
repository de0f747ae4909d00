#include "terminalkind.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace commport::backend {

namespace {

// The character devices of the tty driver's own major: /dev/tty, /dev/console, /dev/ptmx.
constexpr unsigned kTtyAuxMajor = 5;
constexpr unsigned kCurrentTtyMinor = 0;
constexpr unsigned kConsoleMinor = 1;
constexpr unsigned kPtmxMinor = 2;
// The virtual consoles, tty0 (the one on the screen now) to tty63, share their major with
// the board UARTs, whose minors begin at 64: the kernel's terminals of the screen and
// keyboard, where a login may run, and never a serial line.
constexpr unsigned kTtyMajor = 4;
constexpr unsigned kLastVirtualConsoleMinor = 63;

bool parseNumber(const std::string& text, unsigned& value)
{
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        }))
        return false;
    value = static_cast<unsigned>(std::stoul(text));
    return true;
}

// "4:64" as the kernel writes a device number in proc and sysfs.
bool parseDeviceNumber(const std::string& text, dev_t& device)
{
    const std::size_t colon = text.find(':');
    unsigned major = 0, minor = 0;
    if (colon == std::string::npos || !parseNumber(text.substr(0, colon), major)
        || !parseNumber(text.substr(colon + 1), minor))
        return false;
    device = makedev(major, minor);
    return true;
}

// "ttyS0                -W- (EC p a)    4:64": the device is the last column, and only
// consoles with a terminal behind them have one (a network console has none).
void addProcConsoles(const std::string& procRoot, std::vector<dev_t>& devices)
{
    std::ifstream consoles(procRoot + "/consoles");
    std::string line;
    while (std::getline(consoles, line)) {
        const std::size_t end = line.find_last_not_of(" \t");
        if (end == std::string::npos)
            continue;
        const std::size_t start = line.find_last_of(" \t", end);
        dev_t device{};
        if (parseDeviceNumber(line.substr(start == std::string::npos ? 0 : start + 1, end - start), device))
            devices.push_back(device);
    }
}

// "tty0 ttyS0": names of the tty class, whose dev attribute holds the number.
void addActiveConsoles(const std::string& sysRoot, std::vector<dev_t>& devices)
{
    std::ifstream active(sysRoot + "/class/tty/console/active");
    std::string name;
    while (active >> name) {
        if (name.find('/') != std::string::npos || name == "." || name == "..")
            continue;
        std::ifstream number(sysRoot + "/class/tty/" + name + "/dev");
        std::string text;
        dev_t device{};
        if (number >> text && parseDeviceNumber(text, device))
            devices.push_back(device);
    }
}

// Whether sysfs knows the device and files it under a class other than tty.
bool listedOutsideTtyClass(dev_t device, const std::string& sysRoot)
{
    const std::string entry = sysRoot + "/dev/char/" + std::to_string(major(device)) + ':'
        + std::to_string(minor(device));
    struct stat st {};
    if (::lstat(entry.c_str(), &st) != 0)
        return false;
    char target[PATH_MAX];
    const ssize_t n = ::readlink((entry + "/subsystem").c_str(), target, sizeof target - 1);
    if (n <= 0)
        return false;
    const std::string subsystem(target, static_cast<std::size_t>(n));
    const std::size_t slash = subsystem.find_last_of('/');
    return subsystem.substr(slash == std::string::npos ? 0 : slash + 1) != "tty";
}

} // namespace

std::vector<dev_t> KernelConsoleDevices(const SystemRoots& roots)
{
    std::vector<dev_t> devices{makedev(kTtyAuxMajor, kConsoleMinor)};
    addProcConsoles(roots.proc, devices);
    addActiveConsoles(roots.sys, devices);
    return devices;
}

TerminalKind ClassifyCharacterDevice(dev_t device, const SystemRoots& roots)
{
    const std::vector<dev_t> consoles = KernelConsoleDevices(roots);
    if (std::find(consoles.begin(), consoles.end(), device) != consoles.end())
        return TerminalKind::KernelConsole;
    if (major(device) == kTtyMajor && minor(device) <= kLastVirtualConsoleMinor)
        return TerminalKind::KernelConsole;
    if (major(device) == kTtyAuxMajor && (minor(device) == kCurrentTtyMinor || minor(device) == kPtmxMinor))
        return TerminalKind::NotATerminal;
    if (listedOutsideTtyClass(device, roots.sys))
        return TerminalKind::NotATerminal;
    return TerminalKind::Port;
}

} // namespace commport::backend
