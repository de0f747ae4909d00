#include "logfileio.h"

#include "logfile.h"
#include "logstore.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mainwindow {

namespace {

// Big enough that the per-chunk work (a repaint, a progress step) costs nothing
// against the conversion, small enough that a chunk takes a few milliseconds.
constexpr qint64 kChunkBytes = 1 << 20;
constexpr qsizetype kChunkLines = 16384;

// errno right after the failing call; a Qt check that fails without a system call
// leaves it at 0, and the caller's own tests say more then.
int lastErrorOr(int fallback)
{
    return errno != 0 ? errno : fallback;
}

bool report(const WorkProgress& progress, qint64 done, qint64 total)
{
    return !progress || progress(done, total);
}

class Descriptor {
public:
    explicit Descriptor(int fd)
        : fd_(fd)
    {
    }
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Q_DISABLE_COPY_MOVE(Descriptor)
    int get() const { return fd_; }

private:
    int fd_;
};

// True for a regular file; otherwise the result says what the name leads to instead.
template <typename Result>
bool isRegularFile(const struct stat& status, Result& result)
{
    if (S_ISREG(status.st_mode))
        return true;
    if (S_ISDIR(status.st_mode)) {
        result.errorCode = EISDIR;
        return false;
    }
    result.outcome = FileOutcome::NotAFile;
    result.special = S_ISFIFO(status.st_mode)   ? SpecialFile::Pipe
                     : S_ISSOCK(status.st_mode) ? SpecialFile::Socket
                                                : SpecialFile::Device;
    return false;
}

// The file at `path` opened for reading, or -1 with the reason in `result`. The name is
// first taken as a place only (O_PATH neither waits on a pipe nor opens a device), so
// that what is no file is refused without a pipe's writer being let go or a port's modem
// lines moving. The file is then opened without blocking and checked once more on the
// descriptor that is read, as the name may lead elsewhere by then.
int openRegularFile(const QByteArray& name, LogRead& result, qint64& size)
{
    struct stat status {};
    {
        errno = 0;
        const Descriptor place(::open(name.constData(), O_PATH | O_CLOEXEC));
        if (place.get() < 0 || ::fstat(place.get(), &status) != 0) {
            result.errorCode = lastErrorOr(EIO);
            return -1;
        }
        if (!isRegularFile(status, result))
            return -1;
    }
    errno = 0;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        result.errorCode = lastErrorOr(EIO);
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    if (!isRegularFile(status, result)) {
        ::close(fd);
        return -1;
    }
    size = status.st_size;
    return fd;
}

qint64 readSome(int fd, char* into, qint64 bytes)
{
    for (;;) {
        errno = 0;
        const ssize_t got = ::read(fd, into, static_cast<size_t>(bytes));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

// QSaveFile never opens what the name leads to: it writes a temporary file beside it and
// renames that over the name. Over a pipe or a device node the rename would put a file in
// the node's place (as root, /dev/null for one), so a save goes only to a name that leads
// to a file or to nothing yet. A node made there between this check and the rename is
// replaced, never written into, so nothing can block.
bool mayReplace(const QString& path, LogWrite& result)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return true; // nothing there, or out of reach: QSaveFile tells which
    return isRegularFile(status, result);
}

} // namespace

LogRead readLogFile(const QString& path, ui::LogStore& lines, const WorkProgress& progress, qint64 limit)
{
    LogRead result;
    lines.clear();
    qint64 size = 0;
    const Descriptor file(openRegularFile(QFile::encodeName(path), result, size));
    if (file.get() < 0)
        return result;
    if (size > limit) {
        result.outcome = FileOutcome::TooLarge;
        return result;
    }

    const auto fail = [&](FileOutcome outcome) {
        result.outcome = outcome;
        lines.clear();
        return result;
    };
    ui::LogDecoder decoder;
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    qint64 done = 0;
    for (;;) {
        const qint64 got = readSome(file.get(), chunk.data(), kChunkBytes);
        if (got < 0) {
            result.errorCode = lastErrorOr(EIO);
            return fail(FileOutcome::Failed);
        }
        if (got == 0)
            break;
        done += got;
        // The file may grow while it is read.
        if (done > limit)
            return fail(FileOutcome::TooLarge);
        decoder.feed(QByteArrayView(chunk.constData(), got), lines);
        if (!report(progress, done, std::max(size, done)))
            return fail(FileOutcome::Cancelled);
    }
    decoder.finish(lines);
    result.bytes = done;
    result.outcome = FileOutcome::Done;
    return result;
}

LogWrite writeLogFile(const QString& path, const ui::LogStore& lines, const WorkProgress& progress)
{
    LogWrite result;
    if (!mayReplace(path, result))
        return result;
    QSaveFile file(path);
    errno = 0;
    // Unbuffered: a failing write reports at once, with its errno still fresh.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.errorCode = lastErrorOr(EIO);
        return result;
    }

    ui::LogEncoder encoder;
    QStringDecoder fromUtf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // One line at a time, in one buffer: a copy of a long log would outlive the save as
    // freed memory the process still holds.
    QString line;
    QByteArray chunk;
    chunk.reserve(kChunkBytes + kChunkBytes / 4);
    const qsizetype count = lines.lineCount();
    qsizetype next = 0;
    while (next < count) {
        chunk.resize(0);
        const qsizetype end = std::min(count, next + kChunkLines);
        for (; next < end && chunk.size() < kChunkBytes; ++next) {
            const QByteArrayView utf8 = lines.lineUtf8(next);
            line.resize(fromUtf8.requiredSpace(utf8.size()));
            line.truncate(fromUtf8.appendToBuffer(line.data(), utf8) - line.constData());
            encoder.append(line, chunk);
        }
        errno = 0;
        if (file.write(chunk) != chunk.size()) {
            result.errorCode = lastErrorOr(EIO);
            file.cancelWriting();
            return result;
        }
        if (!report(progress, next, count)) {
            file.cancelWriting();
            result.outcome = FileOutcome::Cancelled;
            return result;
        }
    }
    errno = 0;
    if (!file.commit()) {
        result.errorCode = lastErrorOr(EIO);
        return result;
    }
    result.substituted = encoder.substituted();
    result.outcome = FileOutcome::Done;
    return result;
}

QString withLogSuffix(const QString& chosenPath)
{
    static const QString suffix = QStringLiteral(".LogDIXW");
    if (QFileInfo(chosenPath).fileName().contains(suffix))
        return chosenPath;
    return chosenPath + suffix;
}

QString fileFailureReason(SpecialFile special)
{
    switch (special) {
    case SpecialFile::Pipe:
        return QStringLiteral("Это имя канала (FIFO), а не файла.");
    case SpecialFile::Socket:
        return QStringLiteral("Это имя сокета, а не файла.");
    case SpecialFile::Device:
        break;
    }
    return QStringLiteral("Это имя устройства, а не файла.");
}

QString fileFailureReason(int errorCode)
{
    switch (errorCode) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Нет прав на запись или чтение в этом месте.");
    case ENOENT:
        return QStringLiteral("Такого файла или папки нет.");
    case ENOTDIR:
        return QStringLiteral("Часть пути не является папкой.");
    case EISDIR:
        return QStringLiteral("Это имя папки, а не файла.");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("На диске нет места.");
    case EFBIG:
        return QStringLiteral("Файл больше, чем допускает система или диск.");
    case EROFS:
        return QStringLiteral("Диск доступен только для чтения.");
    case ENAMETOOLONG:
        return QStringLiteral("Слишком длинное имя файла.");
    case EIO:
        return QStringLiteral("Ошибка ввода-вывода на диске.");
    default:
        return QStringLiteral("Системная ошибка: %1.").arg(QString::fromLocal8Bit(std::strerror(errorCode)));
    }
}

} // namespace mainwindow
