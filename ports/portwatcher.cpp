#include "portwatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/inotify.h>
#include <sys/stat.h>

namespace ports {

namespace {

// Long enough to take a device node and its links in one look, short enough that a
// returning device is reopened well within a second.
constexpr int kSettleMs = 30;
// Only where the kernel gave no inotify descriptor.
constexpr int kPollMs = 1000;
// Enough for any real chain of links; more is a loop.
constexpr int kMostHops = 40;
// Looks taken while the machine changes under each one; the notices of what changes after
// the last look still come.
constexpr int kMostLooks = 8;

// A directory wanted for itself: entries coming, going, renamed, or changing mode or group
// (udev sets those on a new node a moment after making it).
constexpr std::uint32_t kDirectoryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB
    | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// A directory where something is awaited, the next step towards a missing wanted directory
// or the device of a dangling link: only an entry arriving can be news there. For a link
// into /dev/pts this is the one watch that other programs' terminals still wake, for as
// long as the link dangles, since inotify cannot be told which name to wait for.
constexpr std::uint32_t kArrivalEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The device a virtual link leads to: its going, and its mode or group changing. Not
// IN_MODIFY nor IN_ACCESS: the port may be open on it, and each write and read would be a
// notice. A node the port itself still holds open is reported gone only once the port lets
// go of it; the port learns of the loss from its own reads and writes first.
constexpr std::uint32_t kNodeEvents = IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

QString byIdDirectory(const PortRoots& roots)
{
    return QDir(roots.devRoot).filePath(QStringLiteral("serial/by-id"));
}

// The links that can become ports: the names the virtual ports scan takes.
QStringList virtualLinks(const QString& directory)
{
    const QDir dir(directory);
    QStringList links;
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (!name.startsWith(QLatin1String("COM")) || name.size() <= 3)
            continue;
        const QFileInfo link(dir.filePath(name));
        if (link.isSymLink())
            links << link.absoluteFilePath();
    }
    return links;
}

// The node itself, not only its name: a terminal number taken again is another device.
QString nodeIdentity(const QString& path)
{
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return QStringLiteral("%1:%2").arg(status.st_dev).arg(status.st_ino);
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
    if (watches_.isValid()) {
        connect(&watches_, &InotifyWatches::changed, this, &PortWatcher::changed);
        rearm();
        return;
    }
    connect(&poll_, &QTimer::timeout, this, &PortWatcher::poll);
    poll_.start(kPollMs);
    // The first look from the event loop: whatever left no descriptor for inotify may
    // have left none to read a directory with just now either.
    QTimer::singleShot(0, this, &PortWatcher::poll);
}

QStringList PortWatcher::wantedDirectories() const
{
    return armed_.directories;
}

QStringList PortWatcher::watchedDirectories() const
{
    QStringList directories;
    const QStringList watched = watches_.watchedPaths();
    for (auto it = armed_.watches.cbegin(); it != armed_.watches.cend(); ++it)
        if ((it.value() & IN_ONLYDIR) && (polls() || watched.contains(it.key())))
            directories << it.key();
    return directories;
}

PortWatcher::Plan PortWatcher::plan() const
{
    Plan plan;
    const auto want = [&plan](const QString& directory, bool forItself) {
        if (!plan.directories.contains(directory))
            plan.directories << directory;
        const QString existing = nearestExistingDirectory(directory);
        if (!existing.isEmpty())
            plan.watches[existing] |= existing == directory && forItself ? kDirectoryEvents : kArrivalEvents;
    };
    for (const QString& directory : fixed_)
        want(directory, true);
    for (const QString& link : virtualLinks(virtualDirectory_)) {
        // Each link on the way after the first lives in a directory of its own, where it
        // can be pointed elsewhere.
        QString hop = link;
        for (int i = 0; i < kMostHops && QFileInfo(hop).isSymLink(); ++i) {
            if (i > 0)
                want(QFileInfo(hop).path(), true);
            hop = QDir::cleanPath(QFileInfo(hop).symLinkTarget());
        }
        const QString device = QFileInfo(link).canonicalFilePath();
        if (device.isEmpty()) {
            // Dangling: the device may come back under the name the link gives.
            want(QFileInfo(hop).path(), false);
        } else {
            plan.watches[device] |= kNodeEvents;
            plan.nodes << device;
        }
        plan.linkStates << link + u'\t' + device + u'\t' + nodeIdentity(device);
    }
    return plan;
}

void PortWatcher::changed(const QStringList& paths, bool overflowed)
{
    ++wakeUps_;
    const QStringList nodes = armed_.nodes;
    bool news = rearm() || overflowed;
    // A wanted directory itself, or the device a link leads to. Anything else (a stand-in
    // above a missing directory, where a dangling link's device would appear) is only news
    // when it changed what is to be watched.
    for (const QString& path : paths)
        news = news || fixed_.contains(path) || nodes.contains(path);
    if (news)
        noticed();
}

void PortWatcher::noticed()
{
    if (!settle_.isActive())
        settle_.start();
}

bool PortWatcher::rearm()
{
    // Looked at again after a watch is newly set: what changed there in between, while
    // nothing watched it, is taken in by another look.
    Plan next = plan();
    bool added = watches_.watch(next.watches);
    for (int look = 1; added && look < kMostLooks; ++look) {
        Plan again = plan();
        if (again == next)
            break;
        next = std::move(again);
        added = watches_.watch(next.watches);
    }
    // Compared with what was asked last, not with what is watched: a directory that cannot
    // be watched (no permission) would otherwise count as a change at every notice.
    const bool changed = !(next == armed_);
    armed_ = std::move(next);
    return changed;
}

void PortWatcher::poll()
{
    armed_ = plan();
    // Where each link leads, how far each wanted directory exists, and what is in the ones
    // wanted for themselves (a dangling link's directory only matters once the link
    // leads somewhere again).
    QStringList seen = armed_.linkStates;
    for (const QString& directory : armed_.directories) {
        const QString existing = nearestExistingDirectory(directory);
        seen << directory + u'\t' + existing;
        if (existing == directory && fixed_.contains(directory))
            seen << QDir(directory).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name).join(u'/');
    }
    if (seen == polled_)
        return;
    const bool first = polled_.isEmpty();
    polled_ = std::move(seen);
    if (!first)
        noticed();
}

} // namespace ports
