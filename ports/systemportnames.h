#pragma once
// The COM name of each real port. One rule, so the same hardware gets the same names on
// every start:
//
//   1. ttyS<n> (a UART that really answers) is COM<n+1>: ttyS0 is COM1, ttyS1 is COM2, as the
//      machine's firmware numbers them.
//   2. Every other real port is numbered on from the highest name rule 1 gave (from COM1 when
//      there is no ttyS port), group by group: first the other UARTs on the board (ttyAMA, …),
//      then the USB ports (ttyACM, ttyUSB), then the rest (rfcomm, …). Inside a group the
//      order is by kernel name, the kernel's number read as a number (ttyUSB2 before ttyUSB10).
//
// Why this way: board UARTs never come and go, so they come first and keep their names when
// adapters are plugged in or pulled; ttyS keeps the number people know from the firmware;
// adapters follow the kernel's own numbering, the one the system log shows when they appear.
// A name above COM17 cannot be picked in the window's list; such a port is still reachable by
// its device path.

#include "portentry.h"
#include "systemports.h"

#include <QList>

namespace ports {

// Names `ports` by the rule above; the result is in COM-number order.
QList<PortEntry> nameSystemPorts(const QList<SystemPort>& ports);

// The merged directory: a virtual port takes its name even when a real port has it (the real
// port is then reachable only by its path). Sorted by COM number, other names after them.
QList<PortEntry> mergePorts(const QList<PortEntry>& virtualPorts, const QList<PortEntry>& realPorts);

} // namespace ports
