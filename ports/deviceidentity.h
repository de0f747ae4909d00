#pragma once
// Knowing a device again after it vanished. A USB adapter is known by its by-id link
// (maker, product and serial number, whatever ttyUSB number the kernel hands out next);
// anything else by the name the operator chose resolving again. A pseudo-terminal
// that is gone never comes back: its number goes to the next terminal opened on the
// machine, so only a link published anew (the simulator or socat started again) brings
// a virtual port back.

#include "portdirectory.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace ports {

// A symbolic link as one particular link: made anew, it differs even with the same
// name and target.
struct LinkStamp {
    std::uint64_t inode = 0;
    std::int64_t changedNs = 0;
    friend bool operator==(const LinkStamp&, const LinkStamp&) = default;
};

struct DeviceIdentity {
    QString name;        // what the operator chose: "COM5", or a device path typed in full
    QString devicePath;  // the device that was open: "/dev/ttyUSB0", "/dev/pts/4"
    QString byIdLink;    // "<dev>/serial/by-id/usb-FTDI_…-if00-port0", when the device has one
    std::optional<LinkStamp> virtualLink; // the virtual port link `name` was found through
};

// Taken while the device is there (its by-id link goes with it).
DeviceIdentity identifyDevice(const QString& name, const QString& devicePath, const PortDirectory& directory);

// Whether anything could ever bring this device back (a pseudo-terminal typed as a
// path cannot).
bool canReturn(const DeviceIdentity& identity, const PortDirectory& directory);

struct ReturnedDevice {
    // The name to open it by: the operator's own when it still means this device, else
    // the COM name it has now, else its by-id link.
    QString name;
    QString devicePath;
    friend bool operator==(const ReturnedDevice&, const ReturnedDevice&) = default;
};

// The device when it is back; std::nullopt while it is not. A name that now means
// another adapter is not the device.
std::optional<ReturnedDevice> findReturnedDevice(const DeviceIdentity& lost, const PortDirectory& directory);

} // namespace ports
