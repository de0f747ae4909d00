#pragma once
// Text for where the program's output goes: the terminal or console it was started from,
// or the file or pipe its output was sent to.

#include <QString>

#include <cstdio>

namespace testscript {

// Writes `text` to `stream` and flushes it. Into a file or a pipe (and on Linux
// everywhere) as UTF-8. Into a Windows console as the characters themselves
// (WriteConsoleW): bytes there would be read in the console's code page, and Russian
// text in UTF-8 or in the ANSI code page comes out garbled in most consoles.
void writeConsoleText(std::FILE* stream, const QString& text);

} // namespace testscript
