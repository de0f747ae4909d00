#include "socketio.h"

#include <cerrno>
#include <sys/socket.h>

namespace commport::net {

namespace {

template <typename Call>
SocketTransfer transfer(Call call, bool receiving)
{
    for (;;) {
        const ssize_t n = call();
        if (n > 0)
            return SocketTransfer{.bytes = static_cast<std::size_t>(n)};
        if (n == 0)
            return receiving ? SocketTransfer{.closed = true} : SocketTransfer{.wouldBlock = true};
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return SocketTransfer{.wouldBlock = true};
        return SocketTransfer{.error = errno};
    }
}

} // namespace

SocketTransfer ReceiveSome(int socket, void* buffer, std::size_t count)
{
    if (count == 0)
        return SocketTransfer{.wouldBlock = true};
    return transfer([&] { return ::recv(socket, buffer, count, MSG_DONTWAIT); }, true);
}

SocketTransfer SendSome(int socket, const void* buffer, std::size_t count)
{
    if (count == 0)
        return {};
    return transfer([&] { return ::send(socket, buffer, count, MSG_NOSIGNAL | MSG_DONTWAIT); }, false);
}

} // namespace commport::net
