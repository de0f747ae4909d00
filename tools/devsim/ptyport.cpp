#include "ptyport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace devsim {

namespace {
QString lastError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

std::unique_ptr<PtyPort> PtyPort::open(QString* error, Line line)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        *error = lastError("posix_openpt");
        return nullptr;
    }
    char name[128];
    // Raw at once unless asked not to: with the line discipline's defaults the pair
    // echoes bytes back, holds them until a newline and takes 0x11/0x13 as XON/XOFF,
    // until the program that opens the port sets the line up itself.
    termios raw{};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0
        || ::tcgetattr(master, &raw) != 0) {
        *error = lastError("pseudo-terminal");
        ::close(master);
        return nullptr;
    }
    ::cfmakeraw(&raw);
    if (line == Line::Raw && ::tcsetattr(master, TCSANOW, &raw) != 0) {
        *error = lastError("tcsetattr");
        ::close(master);
        return nullptr;
    }
    // Opening and closing the slave once puts the pair in its hung-up state, so
    // clientConnected() tells "nobody yet" from "somebody there".
    const int probe = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (probe < 0) {
        *error = lastError("open slave");
        ::close(master);
        return nullptr;
    }
    ::close(probe);
    return std::unique_ptr<PtyPort>(new PtyPort(master, QString::fromLocal8Bit(name)));
}

PtyPort::~PtyPort()
{
    ::close(m_master);
}

bool PtyPort::clientConnected() const
{
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return false;
    return !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

PtyPort::ReadResult PtyPort::readAll(QByteArray& bytes)
{
    const qsizetype before = bytes.size();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return bytes.size() > before ? ReadResult::Data : ReadResult::Nothing;
        return ReadResult::HungUp; // EIO, or end of file: the slave was closed
    }
}

qsizetype PtyPort::write(QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, std::size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return done;
}

} // namespace devsim
