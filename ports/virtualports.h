#pragma once
// Virtual ports: symlinks named COM1 … COM17 in a per-user directory, each pointing at
// a device such as a pseudo-terminal. The device simulator publishes its port there,
// and so can a user with socat.

#include "portentry.h"
#include "privatedirectory.h"

#include <QList>
#include <QString>

namespace ports {

// $XDG_RUNTIME_DIR/qldixw/ports, or /tmp/qldixw-<uid>/ports where XDG_RUNTIME_DIR is unset.
QString virtualPortsDirectory();

struct VirtualPortScan {
    QList<PortEntry> ports;
    DirectoryCheck directory; // why the folder was left alone, when it was
};

// The usable links in `directory`: every symlink whose name is "COM" and something more,
// resolved to the device it points at (kind Virtual, description = the link's own path).
// Dangling links, links to directories and anything that is not a link are left out; a
// missing directory gives an empty list, and so does one that is not private to this user
// (privatedirectory.h). Only COM1 … COM17 can be chosen by name in the window, but other
// COM names are still reported so the list rules can see (and skip) them.
VirtualPortScan scanVirtualPorts(const QString& directory);

// The line the log shows when `directory` is left alone, in the operator's words; empty
// when it is private or simply not there.
QString ignoredDirectoryNotice(const QString& directory, const DirectoryCheck& check);

} // namespace ports
