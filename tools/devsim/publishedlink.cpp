#include "publishedlink.h"

#include "privatedirectory.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace devsim {

namespace {
QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

QString preparePortsDirectory(const QString& directory)
{
    const QString clean = QDir::cleanPath(QDir(directory).absolutePath());
    const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        path += u'/' + part;
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
            return QStringLiteral("cannot create %1: %2").arg(path, errnoText());
    }
    // The console checks the same before it lists a link from here.
    const ports::DirectoryCheck check = ports::checkPrivateDirectory(clean);
    if (check.trust != ports::DirectoryTrust::Private)
        return QStringLiteral("not using %1: %2").arg(clean, ports::describeDirectoryCheck(check));
    return {};
}

QString publishLink(const QString& linkPath, const QString& target)
{
    const QByteArray link = QFile::encodeName(linkPath);
    struct stat st{};
    if (::lstat(link.constData(), &st) == 0 && !S_ISLNK(st.st_mode))
        return QStringLiteral("%1 exists and is not a link; not replacing it").arg(linkPath);

    // Made under a temporary name and renamed over the old one, so the name never
    // points nowhere while a console looks at it.
    const QByteArray temporary = link + ".new-" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0)
        return QStringLiteral("cannot create %1: %2").arg(linkPath, errnoText());
    if (::rename(temporary.constData(), link.constData()) != 0) {
        const QString error = QStringLiteral("cannot create %1: %2").arg(linkPath, errnoText());
        ::unlink(temporary.constData());
        return error;
    }
    return {};
}

void unpublishLink(const QString& linkPath, const QString& target)
{
    const QByteArray link = QFile::encodeName(linkPath);
    char pointsAt[4096];
    const ssize_t n = ::readlink(link.constData(), pointsAt, sizeof pointsAt);
    if (n > 0 && QByteArray(pointsAt, n) == QFile::encodeName(target))
        ::unlink(link.constData());
}

} // namespace devsim
