#pragma once
// Where the protocol description is looked for: beside the program file, then in the
// data folder of an install (beside the program's bin/ folder, and where the build
// would install it). Never the current working folder, which is wherever the program
// happened to be started from.
//
// Two documents answer: the dispenser controller's original description, when the
// user has put it there, and the program's own page, installed with it.

#include <QString>
#include <QStringList>

namespace mainwindow {

// The original description of the dispenser controller's protocol.
inline const QString kHelpFileName = QStringLiteral("ZENT_PROT_HTML.chm");
// The program's own description of the three families' protocols, its log files and
// test scripts.
inline const QString kHelpPageName = QStringLiteral("qldixw-protocol.html");

// The running program's folder, then the data folders of an install.
QStringList helpFolders();
// The same for a program file in `programFolder`.
QStringList helpFolders(const QString& programFolder);

// The original description when one of the folders holds it, otherwise the program's
// own page from the first folder that holds it; empty when there is neither. Folders
// that are not absolute paths are passed over, so an empty or relative entry can never
// mean the working folder.
QString findHelpFile(const QStringList& folders);

} // namespace mainwindow
