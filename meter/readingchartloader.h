#pragma once
// Finds and loads the chart module (readingchartmodule.h) the first time a chart window
// is asked for, and makes the menu item that opens the window.

#include <QString>
#include <QStringList>

class QAction;
class QWidget;

namespace meter {

class ReadingChartModule;
class ReadingHistory;

// Where the module is looked for, the first that loads is taken: the folder an install
// puts it in, found from the program's own folder (the build tree keeps the same
// layout beside the program), so a moved install still finds its own module and never
// another one.
QStringList readingChartModuleFiles();
// Tests and tools that are not the program name the module's file themselves; an empty
// list goes back to the program's places.
void setReadingChartModuleFiles(const QStringList& files);

// The module, loaded on the first call and kept; nullptr when it cannot be loaded, with
// the reason in 'error' (a later call tries again).
ReadingChartModule* readingChartModule(QString* error);

// The menu item "График показаний": opens the chart window of 'history' (made on first
// use, above the window of 'anchor') or brings it to the front. A child of 'anchor'.
// When the module cannot be loaded it says so in a message box, and the program goes on.
QAction* makeReadingChartAction(ReadingHistory& history, QWidget* anchor);

} // namespace meter
