#pragma once
// Qt's own words in Russian: the buttons of message boxes, the file and font dialogs,
// the context menus of text fields, the help text's headings. The program's own texts
// are Russian already; Qt's come from the translations Qt ships for Russian.

namespace mainwindow {

// Installs Qt's Russian translations in the running application, once however often it
// is called; the catalogue is read when Qt first asks for a word. False when it is not
// found (the words stay English).
bool installQtTranslations();

} // namespace mainwindow
