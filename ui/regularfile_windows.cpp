// Windows reaches devices by name: CON, NUL, COM1 or LPT1 in any folder and with any
// extension ("C:\logs\com1.LogDIXW" is the first serial port), and anything in the
// device namespace ("\\.\COM12", "\\.\pipe\name"). Such a name is refused before it is
// opened; what passes is opened and refused again unless the system calls it a file on
// a disk.

#include "regularfile.h"

#include <QDir>
#include <QRegularExpression>

#include <windows.h>

#include <cerrno>
#include <optional>
#include <utility>

namespace ui {

namespace {

int errnoOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    default:
        return EIO;
    }
}

const wchar_t* wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

bool isDeviceBaseName(QString base)
{
    static const QStringList reserved = [] {
        QStringList names{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"), QStringLiteral("NUL"),
                          QStringLiteral("CONIN$"), QStringLiteral("CONOUT$"), QStringLiteral("CLOCK$")};
        // COM0 and LPT0 included: some systems take them; the superscript digits are
        // digits to the name parser.
        for (const QString& port : {QStringLiteral("COM"), QStringLiteral("LPT")}) {
            for (const QChar digit : QStringLiteral("0123456789\u00B9\u00B2\u00B3"))
                names << port + digit;
        }
        return names;
    }();
    // The name parser drops what follows a dot or a colon and trailing blanks: "nul.txt",
    // "COM1:" and "con " are the devices.
    const qsizetype cut = base.indexOf(QRegularExpression(QStringLiteral("[.:]")));
    if (cut >= 0)
        base.truncate(cut);
    while (base.endsWith(u' '))
        base.chop(1);
    return reserved.contains(base.toUpper());
}

// What a name leads to when the name alone says it is no file.
std::optional<SpecialFile> deviceByName(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    for (const QString& prefix : {QStringLiteral("\\\\.\\"), QStringLiteral("\\\\?\\")}) {
        if (!native.startsWith(prefix))
            continue;
        const QString rest = native.mid(prefix.size());
        // "\\?\C:\…" and "\\?\UNC\server\…" are long file names; everything else there is
        // a device (a pipe among them).
        const bool drivePath = rest.size() >= 3 && rest[0].isLetter() && rest[1] == u':' && rest[2] == u'\\';
        if (drivePath || rest.startsWith(QLatin1String("UNC\\"), Qt::CaseInsensitive))
            break;
        if (rest.startsWith(QLatin1String("pipe\\"), Qt::CaseInsensitive))
            return SpecialFile::Pipe;
        return SpecialFile::Device;
    }
    const qsizetype slash = native.lastIndexOf(u'\\');
    if (isDeviceBaseName(native.mid(slash + 1)))
        return SpecialFile::Device;
    return std::nullopt;
}

template <typename Result>
bool refuse(Result& result, SpecialFile special)
{
    result.outcome = FileOutcome::NotAFile;
    result.special = special;
    return false;
}

} // namespace

int lastErrorOr(int fallback)
{
    const DWORD code = ::GetLastError();
    if (code != ERROR_SUCCESS)
        return errnoOf(code);
    return errno != 0 ? errno : fallback;
}

void clearLastError()
{
    ::SetLastError(ERROR_SUCCESS);
    errno = 0;
}

ReadableFile::~ReadableFile()
{
    if (handle_ != kNone)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone))
{
}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept
{
    std::swap(handle_, other.handle_);
    return *this;
}

qint64 ReadableFile::read(char* into, qint64 bytes, int& error)
{
    DWORD got = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), into, static_cast<DWORD>(bytes), &got, nullptr)) {
        error = errnoOf(::GetLastError());
        return -1;
    }
    return got;
}

ReadableFile openRegularFile(const QString& path, LogRead& result, qint64& size)
{
    ReadableFile file;
    if (const std::optional<SpecialFile> special = deviceByName(path)) {
        refuse(result, *special);
        return file;
    }
    const QString native = QDir::toNativeSeparators(path);
    // Backup semantics: a folder opens too, and is told apart by its attributes.
    const HANDLE handle = ::CreateFileW(wide(native), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.errorCode = errnoOf(::GetLastError());
        return file;
    }
    file.handle_ = reinterpret_cast<std::intptr_t>(handle);
    BY_HANDLE_FILE_INFORMATION information{};
    const DWORD type = ::GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
        refuse(result, type == FILE_TYPE_PIPE ? SpecialFile::Pipe : SpecialFile::Device);
        return ReadableFile();
    }
    if (!::GetFileInformationByHandle(handle, &information)) {
        result.errorCode = errnoOf(::GetLastError());
        return ReadableFile();
    }
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        result.errorCode = EISDIR;
        return ReadableFile();
    }
    size = (static_cast<qint64>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return file;
}

bool mayReplace(const QString& path, LogWrite& result)
{
    if (const std::optional<SpecialFile> special = deviceByName(path))
        return refuse(result, *special);
    const DWORD attributes = ::GetFileAttributesW(wide(QDir::toNativeSeparators(path)));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true; // nothing there, or out of reach: QSaveFile tells which
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        result.errorCode = EISDIR;
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return refuse(result, SpecialFile::Device);
    return true;
}

} // namespace ui
