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
    // Pseudo-terminals have a directory of their own: a virtual port's device can go
    // while its link stays behind.
    , wanted_{QDir::cleanPath(roots.devRoot), QDir(roots.devRoot).filePath(QStringLiteral("pts")),
              QDir::cleanPath(byIdDirectory(roots)), QDir::cleanPath(roots.virtualDirectory)}
{
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &PortWatcher::portsChanged);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &PortWatcher::directoryChanged);
    rearm();
}

void PortWatcher::directoryChanged(const QString& path)
{
    // A stand-in above a missing directory (/tmp, the runtime directory) sees plenty that
    // has nothing to do with ports: only a step towards a wanted directory counts there.
    const bool rearmed = rearm();
    if (!rearmed && !wanted_.contains(path))
        return;
    if (!settle_.isActive())
        settle_.start();
}

bool PortWatcher::rearm()
{
    QStringList target;
    for (const QString& wanted : wanted_) {
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
