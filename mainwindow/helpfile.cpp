#include "helpfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mainwindow {

QStringList helpFolders()
{
    return {QCoreApplication::applicationDirPath(), QStringLiteral(QLDIXW_DATA_DIR)};
}

QString findHelpFile(const QStringList& folders)
{
    for (const QString& folder : folders) {
        if (folder.isEmpty() || QDir::isRelativePath(folder))
            continue;
        const QFileInfo candidate(QDir(folder).filePath(kHelpFileName));
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return {};
}

} // namespace mainwindow
