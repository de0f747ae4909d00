#include "portdirectory.h"

#include "systemportnames.h"
#include "systemports.h"
#include "virtualports.h"

#include <QFileInfo>

#include <utility>

namespace ports {

PortRoots PortRoots::thisMachine()
{
    return PortRoots{QStringLiteral("/sys"), QStringLiteral("/dev"), virtualPortsDirectory()};
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
    return mergePorts(virtualPorts(), nameSystemPorts(scanSystemPorts(roots_.sysRoot, roots_.devRoot)));
}

QList<PortEntry> PortDirectory::virtualPorts() const
{
    VirtualPortScan scan = scanVirtualPorts(roots_.virtualDirectory);
    const QString notice = ignoredDirectoryNotice(roots_.virtualDirectory, scan.directory);
    if (notice.isEmpty()) {
        reported_.reset();
    } else if (reported_ != scan.directory) {
        reported_ = scan.directory;
        if (notice_)
            notice_(notice);
    }
    return std::move(scan.ports);
}

std::optional<PortEntry> PortDirectory::lookup(const QString& name) const
{
    if (name.isEmpty())
        return std::nullopt;
    for (const PortEntry& entry : entries()) {
        if (entry.name == name)
            return entry;
    }
    return std::nullopt;
}

bool isDevicePath(const QString& name)
{
    // Not QDir::isAbsolutePath: it also takes Qt resource paths (":/…"), which are no device.
    return name.startsWith(QLatin1Char('/'));
}

bool PortDirectory::deviceExists(const QString& path) const
{
    return QFileInfo::exists(path);
}

QString PortDirectory::resolveDevicePath(const QString& name) const
{
    if (isDevicePath(name))
        return name;
    const std::optional<PortEntry> entry = lookup(name);
    return entry ? entry->devicePath : QString();
}

} // namespace ports
