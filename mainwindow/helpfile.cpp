#include "helpfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mainwindow {

namespace {

QString findIn(const QStringList& folders, const QString& name)
{
    for (const QString& folder : folders) {
        if (folder.isEmpty() || QDir::isRelativePath(folder))
            continue;
        const QFileInfo candidate(QDir(folder).filePath(name));
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return {};
}

} // namespace

QStringList helpFolders()
{
    return helpFolders(QCoreApplication::applicationDirPath());
}

QStringList helpFolders(const QString& programFolder)
{
    // An install under any prefix (a package unpacked elsewhere, cmake --install to a
    // folder of one's own) keeps its data beside its bin/ folder.
    const QString installedBeside =
        QDir::cleanPath(QDir(programFolder).filePath(QStringLiteral(QLDIXW_DATA_DIR_FROM_PROGRAM)));
    return {programFolder, installedBeside, QStringLiteral(QLDIXW_DATA_DIR)};
}

QString findHelpFile(const QStringList& folders)
{
    const QString original = findIn(folders, kHelpFileName);
    return original.isEmpty() ? findIn(folders, kHelpPageName) : original;
}

} // namespace mainwindow
