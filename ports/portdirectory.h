#pragma once
// Which ports exist on this machine and what device a port name means: on Linux the
// virtual ports directory over the real ports the kernel has (named as systemportnames.h
// says); on Windows the ports its registry lists (windows/registryports.h).

#include "portentry.h"
#if !defined(_WIN32)
#include "privatedirectory.h"
#endif

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace ports {

#if defined(_WIN32)
// Where the directory looks. Tests point it at a key of their own under HKEY_CURRENT_USER.
struct PortRoots {
    // HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM: the ports, one value each.
    QString serialCommKey;
    // Whether a COM name the key does not list is looked up among the system's device
    // names: some drivers of virtual ports never list theirs.
    bool dosDevices = true;

    static PortRoots thisMachine();
};
#else
// Where the directory looks. Tests point all three into a tree of their own.
struct PortRoots {
    QString sysRoot;            // "/sys"
    QString devRoot;            // "/dev"
    QString virtualDirectory;   // virtualPortsDirectory()

    static PortRoots thisMachine();
};
#endif

class PortDirectory {
public:
    PortDirectory();  // this machine
    explicit PortDirectory(PortRoots roots);

    // Every port name, virtual and real merged, in COM-number order (other names last).
    // Reads the system afresh on each call: adapters come and go while the program runs.
    QList<PortEntry> entries() const;

    // The entry a name stands for: a virtual port first, then a real one. Exact and
    // case-sensitive, like the window's own matching ("com3" is no port).
    std::optional<PortEntry> lookup(const QString& name) const;

    // The path to open for what the operator chose: an absolute path ("/dev/ttyUSB0",
    // "/dev/serial/by-id/…", "/dev/pts/3"; on Windows a device path, "\\.\COM12") is
    // taken as it stands, a port name is looked up; empty when the name means nothing here.
    QString resolveDevicePath(const QString& name) const;
    // Whether a device path (resolved or typed) leads to a device now: a file that
    // exists on Linux; on Windows a port this directory lists or a device name the
    // system knows, since no file function there sees devices.
    bool deviceExists(const QString& devicePath) const;

    const PortRoots& roots() const { return roots_; }

    // Told, in the operator's words, when the virtual ports directory is left alone
    // because it is not private to this user: once, until that changes.
    void setNoticeHandler(std::function<void(const QString&)> handler) { notice_ = std::move(handler); }

private:
    PortRoots roots_;
    std::function<void(const QString&)> notice_;
#if !defined(_WIN32)
    QList<PortEntry> virtualPorts() const;

    // What was last said about the directory; reading the list is no change of it.
    mutable std::optional<DirectoryCheck> reported_;
#endif
};

// Whether `name` is a path to open as it stands rather than a name to look up: "/dev/…"
// on Linux, "\\.\…" (or "\\?\…") on Windows.
bool isDevicePath(const QString& name);

} // namespace ports
