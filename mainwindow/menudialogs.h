#pragma once
// The common dialogs and the desktop services the menus use. The window calls them
// through this one structure, so that a test can answer in place of the user without
// a modal dialog on the screen.

#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QUrl;
class QWidget;

namespace mainwindow {

// How a line monitor's capture is replayed in the window.
struct ReplayChoice {
    // Every exchange's reply window; none: from the capture's own times.
    std::optional<int> windowMs;
    // Each window ends once its reply is complete.
    bool earlyWindows = false;
};

struct MenuDialogs {
    // The file chosen in the open or save dialog, with one filter; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& filter)> openFileName;
    std::function<QString(QWidget* parent, const QString& filter)> saveFileName;
    // The replay's options, asked before a capture runs; nothing when cancelled.
    std::function<std::optional<ReplayChoice>(QWidget* parent, const ReplayChoice& initial)> replayOptions;
    // The font chosen in the font dialog shown at `initial`; nothing when cancelled.
    std::function<std::optional<QFont>(QWidget* parent, const QFont& initial)> font;
    // Hands a document to the program the desktop associates with it.
    std::function<bool(const QUrl& url)> openUrl;
    // Where "Справка" looks for the protocol description (helpfile.h).
    QStringList helpFolders;
    // How long a load or save of the log runs before its progress window, with "Отмена",
    // comes up; 0 brings it up at the first step, for a test to answer.
    int progressDelayMs = 500;
};

// The system's dialogs and the desktop's default handlers.
MenuDialogs systemMenuDialogs();

} // namespace mainwindow
