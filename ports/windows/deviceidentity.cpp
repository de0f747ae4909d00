// Knowing a port again on Windows: by its name. Windows gives a USB adapter the same COM
// number whenever it is plugged in again (the number is kept for its serial number, or
// its place on the bus), so the name the operator chose leads to it again, and a device
// path ("\\.\COM12") likewise.

#include "deviceidentity.h"

#include <windows.h>

namespace ports {

namespace {

// The device a "\\.\NAME" path names exists now.
bool deviceNameExists(const QString& path)
{
    const QString name = path.mid(4);
    wchar_t target[1024];
    return !name.isEmpty()
        && ::QueryDosDeviceW(reinterpret_cast<const wchar_t*>(name.utf16()), target, 1024) != 0;
}

} // namespace

DeviceIdentity identifyDevice(const QString& name, const QString& devicePath, const PortDirectory&)
{
    return DeviceIdentity{name, devicePath, {}, std::nullopt};
}

bool canReturn(const DeviceIdentity& identity, const PortDirectory&)
{
    return !identity.name.isEmpty();
}

std::optional<ReturnedDevice> findReturnedDevice(const DeviceIdentity& lost, const PortDirectory& directory)
{
    if (isDevicePath(lost.name)) {
        if (!deviceNameExists(lost.name))
            return std::nullopt;
        return ReturnedDevice{lost.name, lost.name};
    }
    const std::optional<PortEntry> entry = directory.lookup(lost.name);
    if (!entry)
        return std::nullopt;
    return ReturnedDevice{lost.name, entry->devicePath};
}

} // namespace ports
