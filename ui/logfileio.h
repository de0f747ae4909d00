#pragma once
// Reading and writing a log file (.LogDIXW), a chunk at a time: the one writer of log
// files, for the console's file menu and the monitor's log alike. A long job reports how
// far it has come between chunks; that is where the window repaints and the user may
// cancel. Nothing here shows a window: the caller turns the outcomes into messages.

#include <QString>
#include <functional>

namespace ui {

class LogStore;

// The largest log file "Открыть" loads. Past it the console log no longer keeps up
// (see README, "Log files"); a file is never read into memory beyond it.
constexpr qint64 kLogFileByteLimit = 64LL * 1024 * 1024;

// How much of the job is done, out of total; returns false when the user cancels.
using WorkProgress = std::function<bool(qint64 done, qint64 total)>;

enum class FileOutcome { Done, Cancelled, Failed, TooLarge, NotAFile };

// What a name may lead to besides a file and a folder. A log is never read from one nor
// written over one: a pipe holds the reader until some other program writes, a device may
// never end or act on being opened (a serial port raises its modem lines), and a save
// would put a file where the node was.
enum class SpecialFile { Pipe, Device, Socket };

struct LogRead {
    FileOutcome outcome = FileOutcome::Failed;
    // The length of the file.
    qint64 bytes = 0;
    // Failed: the system's error code.
    int errorCode = 0;
    // NotAFile: what the name leads to.
    SpecialFile special = SpecialFile::Device;
};

struct LogWrite {
    FileOutcome outcome = FileOutcome::Failed;
    int errorCode = 0;
    SpecialFile special = SpecialFile::Device;
    // Characters written as "?" because the code page cannot hold them.
    qsizetype substituted = 0;
};

// Reads and decodes a whole log file, at most `limit` bytes of it, appending its lines to
// `lines`: a store of its own, which a pane then takes over whole (so a load that fails or
// is cancelled leaves the pane as it was). Only a regular file is read, and nothing here
// waits on anything but the disk. `lines` is left empty unless the outcome is Done.
LogRead readLogFile(const QString& path, LogStore& lines, const WorkProgress& progress,
                    qint64 limit = kLogFileByteLimit);

// Replaces the file at `path` with the lines, or leaves it exactly as it was: the text
// goes to a temporary file beside it that takes the name only when it is complete. The
// lines are read from the store one at a time, never copied whole; lines appended
// meanwhile (the line goes on during a long save) are left for the next save.
// `lineForFile`, when given, turns each line into what the file gets (the monitor writes
// its arrows as "->", which the code page lacks).
using LineForFile = std::function<void(QString& line)>;
LogWrite writeLogFile(const QString& path, const LogStore& lines, const WorkProgress& progress,
                      const LineForFile& lineForFile = {});

// The log file's extension.
inline const QString kLogSuffix = QStringLiteral(".LogDIXW");

// The save dialog's name rule: a name without ".LogDIXW" in it (exact case) gets it
// appended. Only the file's own name counts, not the folders above it.
QString withLogSuffix(const QString& chosenPath);

// One Russian line saying why a file could not be read or written.
QString fileFailureReason(int errorCode);
QString fileFailureReason(SpecialFile special);

} // namespace ui
