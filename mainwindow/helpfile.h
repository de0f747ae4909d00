#pragma once
// Where the protocol description is looked for: beside the program file, then in the
// data folder of an installed package. Never the current working folder, which is
// wherever the program happened to be started from.

#include <QString>
#include <QStringList>

namespace mainwindow {

inline const QString kHelpFileName = QStringLiteral("ZENT_PROT_HTML.chm");

// The program's folder, then the installed data folder.
QStringList helpFolders();

// The first of the folders that holds the help file as a file; folders that are not
// absolute paths are passed over, so an empty or relative entry can never mean the
// working folder. Empty when there is none.
QString findHelpFile(const QStringList& folders);

} // namespace mainwindow
