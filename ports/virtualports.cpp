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

QList<PortEntry> scanVirtualPorts(const QString& directory)
{
    QList<PortEntry> found;
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
    return found;
}

} // namespace ports
