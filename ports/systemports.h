#pragma once
// The serial ports the kernel really has, read from sysfs.
//
// /sys/class/tty lists every tty: virtual consoles, the pty master, and on most PCs a few
// dozen ttyS ports the 8250 driver registers whether or not a UART answers at the address.
// A tty is a port worth offering when
//   - it has a `device` link (virtual consoles and the like have none), or it is an RFCOMM
//     link (bound without a connection it has no parent device yet);
//   - its `type` attribute, where the serial core provides one, is not 0 (PORT_UNKNOWN: no
//     UART found, the phantom ttyS ports); an 8250 port on a kernel without that attribute
//     is asked with TIOCGSERIAL instead (only a real character device is opened);
//   - its node exists under the /dev root.

#include "portentry.h"

#include <QList>
#include <QString>

namespace ports {

struct SystemPort {
    QString kernelName;  // "ttyUSB0"
    QString devicePath;  // <dev root>/ttyUSB0
    PortKind kind = PortKind::Other;
    QString description;

    friend bool operator==(const SystemPort&, const SystemPort&) = default;
};

// `sysRoot` is where sysfs is mounted ("/sys"), `devRoot` the device directory ("/dev");
// tests hand in a tree of their own. The order of the result is the directory's; naming
// (systemportnames.h) puts it in order.
QList<SystemPort> scanSystemPorts(const QString& sysRoot, const QString& devRoot);

} // namespace ports
