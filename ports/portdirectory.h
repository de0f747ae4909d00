#pragma once
// Which ports exist on this machine and what device a port name means: the virtual ports
// directory over the real ports the kernel has (named as comnaming.h says).

#include "portentry.h"
#include "privatedirectory.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace ports {

// Where the directory looks. Tests point all three into a tree of their own.
struct PortRoots {
    QString sysRoot;            // "/sys"
    QString devRoot;            // "/dev"
    QString virtualDirectory;   // virtualPortsDirectory()

    static PortRoots thisMachine();
};

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
    // "/dev/serial/by-id/…", "/dev/pts/3") is taken as it stands, a port name is looked up;
    // empty when the name means nothing here.
    QString resolveDevicePath(const QString& name) const;

    const PortRoots& roots() const { return roots_; }

    // Told, in the operator's words, when the virtual ports directory is left alone
    // because it is not private to this user: once, until that changes.
    void setNoticeHandler(std::function<void(const QString&)> handler) { notice_ = std::move(handler); }

private:
    QList<PortEntry> virtualPorts() const;

    PortRoots roots_;
    std::function<void(const QString&)> notice_;
    // What was last said about the directory; reading the list is no change of it.
    mutable std::optional<DirectoryCheck> reported_;
};

} // namespace ports
