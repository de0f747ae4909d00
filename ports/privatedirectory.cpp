#include "privatedirectory.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace ports {

namespace {

// Enough for any real chain of root's links; more is a loop.
constexpr int kMostLinksFollowed = 40;

DirectoryCheck fault(DirectoryTrust trust, const QString& path, uid_t owner = 0)
{
    return DirectoryCheck{trust, path, owner};
}

} // namespace

DirectoryCheck checkPrivateDirectory(const QString& directory)
{
    const uid_t self = ::geteuid();
    QString clean = QDir::cleanPath(QDir(directory).absolutePath());
    for (int followed = 0; followed <= kMostLinksFollowed; ++followed) {
        const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
        QString path;
        bool restart = false;
        // From the root down: the first folder at fault is the one named.
        for (qsizetype i = -1; i < parts.size() && !restart; ++i) {
            path = i < 0 ? QStringLiteral("/") : (i == 0 ? QString() : path) + u'/' + parts[i];
            const bool last = i == parts.size() - 1;
            struct stat st {};
            if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
                return fault(errno == ENOENT || errno == ENOTDIR ? DirectoryTrust::Missing : DirectoryTrust::Unreadable,
                             path);
            if (S_ISLNK(st.st_mode)) {
                // Only root could have made it lead where it leads, and only root can
                // change that; the folder itself is never taken through a link.
                if (last || st.st_uid != 0)
                    return fault(DirectoryTrust::SymbolicLink, path, st.st_uid);
                char target[PATH_MAX];
                if (!::realpath(QFile::encodeName(path).constData(), target))
                    return fault(DirectoryTrust::Missing, path);
                clean = QDir::cleanPath(QFile::decodeName(target) + u'/' + parts.mid(i + 1).join(u'/'));
                restart = true;
                continue;
            }
            if (!S_ISDIR(st.st_mode))
                return fault(DirectoryTrust::NotADirectory, path);
            if (st.st_uid != self && st.st_uid != 0)
                return fault(DirectoryTrust::OtherOwner, path, st.st_uid);
            const bool othersWrite = st.st_mode & (S_IWGRP | S_IWOTH);
            const bool stickyOfRoot = st.st_uid == 0 && (st.st_mode & S_ISVTX);
            if (othersWrite && (last || !stickyOfRoot))
                return fault(DirectoryTrust::WritableByOthers, path, st.st_uid);
        }
        if (!restart)
            return fault(DirectoryTrust::Private, clean);
    }
    return fault(DirectoryTrust::SymbolicLink, clean);
}

QString describeDirectoryCheck(const DirectoryCheck& check)
{
    switch (check.trust) {
    case DirectoryTrust::Private:
        return QStringLiteral("%1 is private to this user").arg(check.path);
    case DirectoryTrust::Missing:
        return QStringLiteral("%1 does not exist").arg(check.path);
    case DirectoryTrust::SymbolicLink:
        return QStringLiteral("%1 is a symbolic link").arg(check.path);
    case DirectoryTrust::NotADirectory:
        return QStringLiteral("%1 is not a directory").arg(check.path);
    case DirectoryTrust::OtherOwner:
        return QStringLiteral("%1 belongs to another user (uid %2)").arg(check.path).arg(check.owner);
    case DirectoryTrust::WritableByOthers:
        return QStringLiteral("%1 may be written to by other users").arg(check.path);
    case DirectoryTrust::Unreadable:
        return QStringLiteral("%1 cannot be examined").arg(check.path);
    }
    return check.path;
}

} // namespace ports
