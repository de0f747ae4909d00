#include "virtualports.h"

#include <QDir>
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

} // namespace ports
