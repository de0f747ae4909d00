#pragma once
// The system's side of reading and replacing a log file: only a regular file is read or
// replaced. A name that leads to a pipe, a device or a socket is refused before anything
// opens it: a pipe would hold the reader until some other program writes, a device may
// never end or act on being opened (a serial port raises its modem lines), and a save
// would put a file where the node was. On Windows a device is reached by name as well
// (CON, NUL, COM1, "\\.\…"), whatever folder the name is put in.
//
// Error codes are errno values on every system, so that one list of reasons serves both.

#include "logfileio.h"

#include <QString>

#include <cstdint>

namespace ui {

// A file opened for reading; closed when it goes.
class ReadableFile {
public:
    ReadableFile() = default;
    ~ReadableFile();
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;
    ReadableFile(ReadableFile&& other) noexcept;
    ReadableFile& operator=(ReadableFile&& other) noexcept;

    bool isOpen() const { return handle_ != kNone; }
    // Up to `bytes` into `into`: the number read, 0 at the end, -1 with `error` set.
    qint64 read(char* into, qint64 bytes, int& error);

private:
    friend ReadableFile openRegularFile(const QString& path, LogRead& result, qint64& size);
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;
};

// The file at `path` opened for reading, or one that is not open with the reason in
// `result` (errorCode, or outcome NotAFile and what it is instead). `size`: its length.
ReadableFile openRegularFile(const QString& path, LogRead& result, qint64& size);

// Whether a save may put a new file at `path`: it leads to a regular file or to nothing
// yet. Otherwise `result` says why not.
bool mayReplace(const QString& path, LogWrite& result);

// The system's last error as an errno value, `fallback` when it has none; and clearing it
// before a call whose failure is to be read.
int lastErrorOr(int fallback);
void clearLastError();

} // namespace ui
