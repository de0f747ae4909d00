#pragma once
// Virtual ports: symlinks named COM1 … COM17 in a per-user directory, each pointing at
// a device such as a pseudo-terminal. The device simulator publishes its port there,
// and so can a user with socat.

#include <QString>

namespace ports {

// $XDG_RUNTIME_DIR/qldixw/ports, or /tmp/qldixw-<uid>/ports where XDG_RUNTIME_DIR is unset.
QString virtualPortsDirectory();

} // namespace ports
