#include "virtualports.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <unistd.h>

namespace ports {

QString virtualPortsDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString base = runtime.isEmpty()
        ? QStringLiteral("/tmp/qldixw-%1").arg(::getuid())
        : QDir(runtime).filePath(QStringLiteral("qldixw"));
    return QDir(base).filePath(QStringLiteral("ports"));
}

VirtualPortScan scanVirtualPorts(const QString& directory)
{
    VirtualPortScan scan{{}, checkPrivateDirectory(directory)};
    if (scan.directory.trust != DirectoryTrust::Private)
        return scan;
    QList<PortEntry>& found = scan.ports;
    const QDir dir(directory);
    // QDir::System is what makes dangling links show up at all; they are dropped below, but
    // only after being looked at, so a stale link never hides behind a filter quirk.
    const QStringList names = dir.entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (!name.startsWith(QLatin1String("COM")) || name.size() <= 3)
            continue;
        const QFileInfo link(dir.filePath(name));
        if (!link.isSymLink())
            continue;
        const QString target = link.canonicalFilePath(); // empty when the link dangles
        if (target.isEmpty() || QFileInfo(target).isDir())
            continue;
        found.append(PortEntry{name, target, PortKind::Virtual, link.absoluteFilePath()});
    }
    return scan;
}

QString ignoredDirectoryNotice(const QString& directory, const DirectoryCheck& check)
{
    QString why;
    switch (check.trust) {
    case DirectoryTrust::Private:
    case DirectoryTrust::Missing:
        return {};
    case DirectoryTrust::SymbolicLink:
        why = QStringLiteral("%1 — символическая ссылка").arg(check.path);
        break;
    case DirectoryTrust::NotADirectory:
        why = QStringLiteral("%1 — не папка").arg(check.path);
        break;
    case DirectoryTrust::OtherOwner:
        why = QStringLiteral("папка %1 принадлежит другому пользователю (uid %2)").arg(check.path).arg(check.owner);
        break;
    case DirectoryTrust::WritableByOthers:
        why = QStringLiteral("в папку %1 могут писать другие пользователи").arg(check.path);
        break;
    case DirectoryTrust::Unreadable:
        why = QStringLiteral("папку %1 не удалось проверить").arg(check.path);
        break;
    }
    return QStringLiteral("Папка виртуальных портов %1 не используется: %2.")
        .arg(QDir::cleanPath(directory), why);
}

} // namespace ports
