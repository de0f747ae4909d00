#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace ui {

namespace {

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

} // namespace

int lastErrorOr(int fallback)
{
    return errno != 0 ? errno : fallback;
}

void clearLastError()
{
    errno = 0;
}

ReadableFile::~ReadableFile()
{
    if (handle_ != kNone)
        ::close(static_cast<int>(handle_));
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
    for (;;) {
        errno = 0;
        const ssize_t got = ::read(static_cast<int>(handle_), into, static_cast<size_t>(bytes));
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            error = lastErrorOr(EIO);
            return -1;
        }
    }
}

// The name is first taken as a place only (O_PATH neither waits on a pipe nor opens a
// device), so that what is no file is refused without a pipe's writer being let go or a
// port's modem lines moving. The file is then opened without blocking and checked once
// more on the descriptor that is read, as the name may lead elsewhere by then.
ReadableFile openRegularFile(const QString& path, LogRead& result, qint64& size)
{
    const QByteArray name = QFile::encodeName(path);
    ReadableFile file;
    struct stat status {};
    {
        errno = 0;
        const Descriptor place(::open(name.constData(), O_PATH | O_CLOEXEC));
        if (place.get() < 0 || ::fstat(place.get(), &status) != 0) {
            result.errorCode = lastErrorOr(EIO);
            return file;
        }
        if (!isRegularFile(status, result))
            return file;
    }
    errno = 0;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        result.errorCode = lastErrorOr(EIO);
        if (fd >= 0)
            ::close(fd);
        return file;
    }
    if (!isRegularFile(status, result)) {
        ::close(fd);
        return file;
    }
    size = status.st_size;
    file.handle_ = fd;
    return file;
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

} // namespace ui
