#include "deviceidentity.h"

#include "portentry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ports {

namespace {

// The names the window can put in its port list's text and match.
constexpr int kHighestSelectableCom = 17;

// UNIX98 pseudo-terminal slaves (/dev/pts/N): majors 136 to 143.
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;

QString canonical(const QString& path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

std::optional<LinkStamp> linkStamp(const QString& path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISLNK(status.st_mode))
        return std::nullopt;
    return LinkStamp{static_cast<std::uint64_t>(status.st_ino),
                     static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1'000'000'000 + status.st_ctim.tv_nsec};
}

bool isPseudoTerminal(const QString& devicePath, const PortRoots& roots)
{
    for (const QString& dev : {QDir::cleanPath(roots.devRoot), canonical(roots.devRoot)}) {
        if (!dev.isEmpty() && devicePath.startsWith(dev + QStringLiteral("/pts/")))
            return true;
    }
    struct stat status {};
    if (::stat(QFile::encodeName(devicePath).constData(), &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    const unsigned deviceMajor = major(status.st_rdev);
    return deviceMajor >= kFirstPtyMajor && deviceMajor <= kLastPtyMajor;
}

QString byIdDirectory(const PortRoots& roots)
{
    return QDir(roots.devRoot).filePath(QStringLiteral("serial/by-id"));
}

QString findByIdLink(const QString& devicePath, const PortRoots& roots)
{
    const QString device = canonical(devicePath);
    if (device.isEmpty())
        return {};
    const QDir byId(byIdDirectory(roots));
    const QStringList names = byId.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString link = byId.filePath(name);
        if (QFileInfo(link).isSymLink() && canonical(link) == device)
            return link;
    }
    return {};
}

// resolveDevicePath over one reading of the directory.
QString resolveIn(const QList<PortEntry>& entries, const QString& name)
{
    if (name.startsWith(QLatin1Char('/')))
        return name;
    for (const PortEntry& entry : entries)
        if (entry.name == name)
            return entry.devicePath;
    return {};
}

QString virtualLinkPath(const QString& name, const PortRoots& roots)
{
    return QDir(roots.virtualDirectory).filePath(name);
}

} // namespace

DeviceIdentity identifyDevice(const QString& name, const QString& devicePath, const PortDirectory& directory)
{
    DeviceIdentity identity{name, devicePath, findByIdLink(devicePath, directory.roots()), std::nullopt};
    if (!name.startsWith(QLatin1Char('/'))) {
        const std::optional<PortEntry> entry = directory.lookup(name);
        if (entry && entry->kind == PortKind::Virtual)
            identity.virtualLink = linkStamp(virtualLinkPath(name, directory.roots()));
    }
    return identity;
}

bool canReturn(const DeviceIdentity& identity, const PortDirectory& directory)
{
    return !identity.byIdLink.isEmpty() || identity.virtualLink
        || !isPseudoTerminal(identity.devicePath, directory.roots());
}

std::optional<ReturnedDevice> findReturnedDevice(const DeviceIdentity& lost, const PortDirectory& directory)
{
    if (!canReturn(lost, directory))
        return std::nullopt;
    const QList<PortEntry> entries = directory.entries();

    if (!lost.byIdLink.isEmpty()) {
        const QString device = canonical(lost.byIdLink);
        if (device.isEmpty())
            return std::nullopt;
        QStringList candidates{lost.name};
        for (const PortEntry& entry : entries) {
            const int number = comNumber(entry.name);
            if (number >= 1 && number <= kHighestSelectableCom)
                candidates << entry.name;
        }
        for (const QString& candidate : candidates) {
            const QString path = resolveIn(entries, candidate);
            if (canonical(path) == device)
                return ReturnedDevice{candidate, path};
        }
        return ReturnedDevice{lost.byIdLink, lost.byIdLink};
    }

    const QString path = resolveIn(entries, lost.name);
    const QString device = canonical(path);
    if (device.isEmpty())
        return std::nullopt;
    if (isPseudoTerminal(device, directory.roots())) {
        // Only a link made anew stands for a device that is really back.
        if (!lost.virtualLink || lost.name.startsWith(QLatin1Char('/')))
            return std::nullopt;
        const std::optional<LinkStamp> now = linkStamp(virtualLinkPath(lost.name, directory.roots()));
        if (!now || *now == *lost.virtualLink)
            return std::nullopt;
    }
    return ReturnedDevice{lost.name, path};
}

} // namespace ports
