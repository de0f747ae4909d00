#pragma once
// Reading and writing a log file, a chunk at a time. A long job reports how far it
// has come between chunks; that is where the window repaints and the user may cancel.
// Nothing here shows a window: the file menu turns the outcomes into messages.

#include <QString>
#include <QStringList>
#include <functional>

namespace mainwindow {

// The largest log file "Открыть" loads. Past it the console log no longer keeps up
// (see README, "Log files"); a file is never read into memory beyond it.
constexpr qint64 kLogFileByteLimit = 64LL * 1024 * 1024;

// How much of the job is done, out of total; returns false when the user cancels.
using WorkProgress = std::function<bool(qint64 done, qint64 total)>;

enum class FileOutcome { Done, Cancelled, Failed, TooLarge };

struct LogRead {
    FileOutcome outcome = FileOutcome::Failed;
    QStringList lines;
    // The length of the file.
    qint64 bytes = 0;
    // Failed: the system's error code.
    int errorCode = 0;
};

struct LogWrite {
    FileOutcome outcome = FileOutcome::Failed;
    int errorCode = 0;
    // Characters written as "?" because the code page cannot hold them.
    qsizetype substituted = 0;
};

// Reads and decodes a whole log file, at most `limit` bytes of it.
LogRead readLogFile(const QString& path, const WorkProgress& progress, qint64 limit = kLogFileByteLimit);

// Replaces the file at `path` with the lines, or leaves it exactly as it was: the text
// goes to a temporary file beside it that takes the name only when it is complete.
LogWrite writeLogFile(const QString& path, const QStringList& lines, const WorkProgress& progress);

// The save dialog's name rule: a name without ".LogDIXW" in it (exact case) gets it
// appended. Only the file's own name counts, not the folders above it.
QString withLogSuffix(const QString& chosenPath);

// One Russian line saying why a file could not be read or written.
QString fileFailureReason(int errorCode);

} // namespace mainwindow
