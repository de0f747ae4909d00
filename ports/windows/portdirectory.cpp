// The port directory on Windows: the ports the registry lists (SERIALCOMM), each opened
// by its device path "\\.\COMn", the only form that reaches COM10 and above.

#include "portdirectory.h"

#include "registrykey.h"
#include "registryports.h"

#include <windows.h>

#include <utility>

namespace ports {

namespace {

QString devicePathOf(const QString& name)
{
    return QStringLiteral("\\\\.\\") + name;
}

// The kind, as far as the driver's device object tells it.
PortKind kindOfDevice(const QString& device)
{
    const QString lower = device.toLower();
    if (lower.startsWith(QLatin1String("\\device\\serial")))
        return PortKind::Uart;
    if (lower.contains(QLatin1String("bthmodem")))
        return PortKind::Bluetooth;
    if (lower.contains(QLatin1String("usbser")))
        return PortKind::UsbAcm;
    if (lower.contains(QLatin1String("vcp")) || lower.contains(QLatin1String("silabser"))
        || lower.contains(QLatin1String("prolific")) || lower.contains(QLatin1String("usb")))
        return PortKind::Usb;
    return PortKind::Other;
}

// What the system's device name leads to, or nothing when there is no such device.
std::optional<QString> dosDeviceTarget(const QString& name)
{
    std::wstring target(1024, L'\0');
    const DWORD length = ::QueryDosDeviceW(reinterpret_cast<const wchar_t*>(name.utf16()), target.data(),
                                           static_cast<DWORD>(target.size()));
    if (length == 0)
        return std::nullopt;
    return QString::fromWCharArray(target.c_str());
}

} // namespace

PortRoots PortRoots::thisMachine()
{
    return PortRoots{QStringLiteral("HKEY_LOCAL_MACHINE\\") + QLatin1String(windows::kSerialCommKey), true};
}

PortDirectory::PortDirectory()
    : PortDirectory(PortRoots::thisMachine())
{
}

PortDirectory::PortDirectory(PortRoots roots)
    : roots_(std::move(roots))
{
}

QList<PortEntry> PortDirectory::entries() const
{
    const windows::RegistryKeyName key = windows::splitRegistryKey(roots_.serialCommKey);
    if (!key.root)
        return {};
    const windows::SerialCommRead read = windows::readSerialCommValues(key.root, key.subKey.c_str());
    QList<PortEntry> entries;
    for (const std::string& port : windows::serialCommPortNames(read.values)) {
        PortEntry entry;
        entry.name = QString::fromStdString(port);
        entry.devicePath = devicePathOf(entry.name);
        // A port listed by two drivers is one name; the first driver describes it.
        for (const windows::SerialCommValue& value : read.values) {
            if (value.port == port) {
                entry.description = QString::fromStdString(value.device);
                break;
            }
        }
        entry.kind = kindOfDevice(entry.description);
        entries << entry;
    }
    return entries;
}

std::optional<PortEntry> PortDirectory::lookup(const QString& name) const
{
    if (name.isEmpty())
        return std::nullopt;
    for (const PortEntry& entry : entries()) {
        if (entry.name == name)
            return entry;
    }
    if (!roots_.dosDevices || comNumber(name) < 1)
        return std::nullopt;
    const std::optional<QString> target = dosDeviceTarget(name);
    if (!target)
        return std::nullopt;
    return PortEntry{name, devicePathOf(name), PortKind::Other, *target};
}

bool isDevicePath(const QString& name)
{
    return name.startsWith(QLatin1String("\\\\.\\")) || name.startsWith(QLatin1String("\\\\?\\"));
}

bool PortDirectory::deviceExists(const QString& path) const
{
    if (!isDevicePath(path))
        return false;
    const QString name = path.mid(4);
    if (name.isEmpty() || name.contains(QLatin1Char('\\')))
        return false;
    return lookup(name).has_value() || dosDeviceTarget(name).has_value();
}

QString PortDirectory::resolveDevicePath(const QString& name) const
{
    if (isDevicePath(name))
        return name;
    const std::optional<PortEntry> entry = lookup(name);
    return entry ? entry->devicePath : QString();
}

} // namespace ports
