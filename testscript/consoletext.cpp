#include "consoletext.h"

#include <QByteArray>

#if defined(_WIN32)
#include <algorithm>
#include <io.h>
#include <windows.h>
#endif

namespace testscript {

namespace {

void writeUtf8(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

#if defined(_WIN32)
// The console behind a stream, or nothing when it leads to a file or a pipe.
HANDLE consoleOf(std::FILE* stream)
{
    const int fd = _fileno(stream);
    if (fd < 0)
        return nullptr;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !handle || !::GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}

// In pieces a console takes at once, none of them ending between the halves of a
// surrogate pair. False when the console refused a piece; what came before it was shown.
bool writeToConsole(HANDLE console, const QString& text)
{
    constexpr qsizetype kPiece = 8192;
    const auto* next = reinterpret_cast<const wchar_t*>(text.utf16());
    qsizetype left = text.size();
    while (left > 0) {
        qsizetype piece = std::min(left, kPiece);
        if (piece < left && QChar::isHighSurrogate(char16_t(next[piece - 1])))
            --piece;
        DWORD written = 0;
        if (!::WriteConsoleW(console, next, DWORD(piece), &written, nullptr) || written == 0)
            return false;
        next += written;
        left -= qsizetype(written);
    }
    return true;
}
#endif

} // namespace

void writeConsoleText(std::FILE* stream, const QString& text)
{
#if defined(_WIN32)
    if (const HANDLE console = consoleOf(stream)) {
        // What the stream still holds goes first, in its order.
        std::fflush(stream);
        if (writeToConsole(console, text))
            return;
    }
#endif
    writeUtf8(stream, text);
}

} // namespace testscript
