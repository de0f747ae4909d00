#pragma once
// The log panes: multi-line, both scroll bars, only ever appended to by the program.

#include <QPlainTextEdit>

namespace transport {

QPlainTextEdit* makeLogPane(QWidget* parent, const char* name);

} // namespace transport
