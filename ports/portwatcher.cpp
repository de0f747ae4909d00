#include "portwatcher.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace ports {

namespace {

// Long enough to take a device node and its links in one look, short enough that a
// returning device is reopened well within a second.
constexpr int kSettleMs = 30;

QString byIdDirectory(const PortRoots& roots)
{
    return QDir(roots.devRoot).filePath(QStringLiteral("serial/by-id"));
}

QStringList virtualLinks(const QString& directory)
{
    const QDir dir(directory);
    QStringList links;
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QFileInfo link(dir.filePath(name));
        if (link.isSymLink())
            links << link.absoluteFilePath();
    }
    return links;
}

} // namespace

QString nearestExistingDirectory(const QString& path)
{
    QString candidate = QDir::cleanPath(path);
    while (!candidate.isEmpty()) {
        if (QFileInfo(candidate).isDir())
            return candidate;
        const QString parent = QFileInfo(candidate).path();
        if (parent == candidate || parent == QLatin1String("."))
            return {};
        candidate = parent;
    }
    return {};
}

PortWatcher::PortWatcher(PortRoots roots, QObject* parent)
    : QObject(parent)
    , virtualDirectory_(QDir::cleanPath(roots.virtualDirectory))
    , fixed_{QDir::cleanPath(roots.devRoot), QDir::cleanPath(byIdDirectory(roots)), virtualDirectory_}
{
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &PortWatcher::portsChanged);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &PortWatcher::directoryChanged);
    rearm();
    linkStates_ = virtualLinkStates();
}

QStringList PortWatcher::wantedDirectories() const
{
    QStringList wanted = fixed_;
    for (const QString& directory : targets_)
        if (!wanted.contains(directory))
            wanted << directory;
    return wanted;
}

QStringList PortWatcher::linkTargetDirectories() const
{
    QStringList directories;
    for (const QString& link : virtualLinks(virtualDirectory_)) {
        // The target as written, also when it dangles: that is when its return matters.
        const QString directory = QFileInfo(QFileInfo(link).symLinkTarget()).path();
        if (!directory.isEmpty() && !directories.contains(directory))
            directories << directory;
    }
    return directories;
}

QStringList PortWatcher::virtualLinkStates() const
{
    QStringList states;
    for (const QString& link : virtualLinks(virtualDirectory_))
        states << link + u'\t' + QFileInfo(link).canonicalFilePath();
    return states;
}

void PortWatcher::directoryChanged(const QString& path)
{
    ++wakeUps_;
    const bool rearmed = rearm();
    if (rearmed || fixed_.contains(path)) {
        noticed();
        return;
    }
    // Every terminal opened or closed anywhere on the machine shows in /dev/pts: only a
    // virtual port whose device came or went is news. A stand-in above a missing
    // directory (/tmp, the runtime directory) sees plenty that has nothing to do with
    // ports and is only a step towards what is wanted.
    if (targets_.contains(path) && virtualLinkStates() != linkStates_)
        noticed();
}

void PortWatcher::noticed()
{
    linkStates_ = virtualLinkStates();
    if (!settle_.isActive())
        settle_.start();
}

bool PortWatcher::rearm()
{
    targets_ = linkTargetDirectories();
    QStringList target;
    for (const QString& wanted : wantedDirectories()) {
        const QString directory = nearestExistingDirectory(wanted);
        if (!directory.isEmpty() && !target.contains(directory))
            target << directory;
    }
    // Compared with what was asked last, not with what the watcher holds: a directory it
    // cannot watch (no permission) would otherwise count as a change at every notice.
    const bool changed = target != armed_;
    armed_ = target;
    const QStringList current = watcher_.directories();
    QStringList gone;
    for (const QString& directory : current)
        if (!target.contains(directory))
            gone << directory;
    if (!gone.isEmpty())
        watcher_.removePaths(gone);
    // Also what the watcher dropped by itself: a directory removed and made again.
    QStringList added;
    for (const QString& directory : target)
        if (!current.contains(directory))
            added << directory;
    if (!added.isEmpty())
        watcher_.addPaths(added);
    return changed;
}

} // namespace ports
