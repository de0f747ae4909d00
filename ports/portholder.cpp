#include "portholder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace ports {

namespace {

// The kernel's largest pid_max: a bigger number in a lock file is no process.
constexpr long kHighestPid = 1L << 22;

QString readCommandName(const QString& procRoot, pid_t pid)
{
    QFile file(QStringLiteral("%1/%2/comm").arg(procRoot).arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.read(256)).trimmed();
}

bool processExists(const QString& procRoot, pid_t pid)
{
    return pid > 0 && QFileInfo(QStringLiteral("%1/%2").arg(procRoot).arg(pid)).isDir();
}

// Every process with `device` open among those whose descriptors this user may list.
QList<pid_t> openers(const QString& procRoot, dev_t device)
{
    QList<pid_t> found;
    const pid_t self = ::getpid();
    const QDir proc(procRoot);
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isNumber = false;
        const pid_t pid = entry.toInt(&isNumber);
        if (!isNumber || pid == self)
            continue;
        const QString fdDirectory = proc.filePath(entry + QStringLiteral("/fd"));
        const QStringList descriptors = QDir(fdDirectory).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& descriptor : descriptors) {
            struct stat status {};
            const QByteArray path = QFile::encodeName(fdDirectory + u'/' + descriptor);
            if (::stat(path.constData(), &status) == 0 && S_ISCHR(status.st_mode) && status.st_rdev == device) {
                found << pid;
                break;
            }
        }
    }
    return found;
}

// The names lock files are given for a device: its path under /dev with "/" as "_"
// ("ttyUSB0", "pts_3"), and the last part of the path the operator chose.
QStringList lockNames(const QString& devicePath)
{
    QStringList names;
    const QString device = QFileInfo(devicePath).canonicalFilePath();
    const QString dev = QStringLiteral("/dev/");
    if (device.startsWith(dev))
        names << device.mid(dev.size()).replace(u'/', u'_');
    for (const QString& path : {device, devicePath}) {
        const QString last = QFileInfo(path).fileName();
        if (!last.isEmpty() && !names.contains(last))
            names << last;
    }
    return names;
}

QList<pid_t> lockOwners(const QString& devicePath, const HolderRoots& roots)
{
    QList<pid_t> found;
    QStringList seen;
    for (const QString& directory : roots.lockDirectories) {
        // /var/lock is mostly a link to /run/lock: one directory, read once.
        const QString real = QFileInfo(directory).canonicalFilePath();
        if (real.isEmpty() || seen.contains(real))
            continue;
        seen << real;
        for (const QString& name : lockNames(devicePath)) {
            QFile lock(QDir(real).filePath(QStringLiteral("LCK..") + name));
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const pid_t pid = lockFileProcess(lock.read(64));
            if (processExists(roots.procRoot, pid) && !found.contains(pid))
                found << pid;
        }
    }
    return found;
}

} // namespace

HolderRoots HolderRoots::thisMachine()
{
    return HolderRoots{QStringLiteral("/proc"), {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")}};
}

pid_t lockFileProcess(const QByteArray& content)
{
    const QByteArray text = content.trimmed();
    bool isNumber = false;
    const long value = text.toLong(&isNumber);
    if (isNumber)
        return value > 0 && value <= kHighestPid ? static_cast<pid_t>(value) : 0;
    // Binary: exactly the bytes of an int, as old UUCP wrote it.
    if (content.size() == static_cast<qsizetype>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, content.constData(), sizeof binary);
        return binary > 0 && binary <= kHighestPid ? static_cast<pid_t>(binary) : 0;
    }
    return 0;
}

QList<PortHolder> portHolders(const QString& devicePath, const HolderRoots& roots)
{
    QList<pid_t> pids;
    struct stat status {};
    if (::stat(QFile::encodeName(devicePath).constData(), &status) == 0 && S_ISCHR(status.st_mode))
        pids = openers(roots.procRoot, status.st_rdev);
    for (const pid_t pid : lockOwners(devicePath, roots))
        if (pid != ::getpid() && !pids.contains(pid))
            pids << pid;
    std::sort(pids.begin(), pids.end());

    QList<PortHolder> holders;
    for (const pid_t pid : pids)
        holders << PortHolder{pid, readCommandName(roots.procRoot, pid)};
    return holders;
}

QString holdersText(const QList<PortHolder>& holders)
{
    QStringList parts;
    for (const PortHolder& holder : holders) {
        parts << (holder.program.isEmpty() ? QStringLiteral("pid %1").arg(holder.pid)
                                           : QStringLiteral("%1 (pid %2)").arg(holder.program).arg(holder.pid));
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace ports
