#pragma once
// The event boundary: a command that fails with an exception ends there, its message
// shows in an error box, and the program goes on.

#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace mainwindow {

// The text the error box shows for an exception: its message, and for the serial
// component's a Russian hint for the operator where one helps.
QString errorBoxText(const std::exception& error);

// Runs one command. Returns false when it failed (the error box has been shown).
bool runCommand(QWidget* parent, const std::function<void()>& command);

void showErrorBox(QWidget* parent, const QString& text);

} // namespace mainwindow
