// Connecting to a serial device server: the name looked up, each address tried with a
// non-blocking connect under one deadline, and the COM port option agreed.

#include "netconnection.h"

#include "socketerror.h"
#include "socketio.h"

#include <algorithm>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <optional>
#include <utility>

namespace commport::net {

namespace {

using backend::SystemError;
using Clock = std::chrono::steady_clock;

// A connection that stops carrying anything is noticed: an idle one by keepalive probes
// after 10 s (then 3 probes 5 s apart), one with unacknowledged data after 20 s. Without
// them a dropped network would leave the port open for a quarter of an hour.
constexpr int kKeepIdleSeconds = 10;
constexpr int kKeepIntervalSeconds = 5;
constexpr int kKeepProbes = 3;
constexpr int kUserTimeoutMs = 20000;
// What the socket may hold unsent. The line behind the server is slow (4800 bit/s is
// 480 bytes a second): a large buffer would take requests that reach the device long
// after the output queue's time-out, so the queue is to keep them, not the socket.
constexpr int kSendBuffer = 4096;

void setOption(int fd, int level, int name, int value)
{
    // Best effort: a system without one of these still connects.
    ::setsockopt(fd, level, name, &value, sizeof value);
}

void tune(int fd)
{
    setOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    setOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    setOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleSeconds);
    setOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalSeconds);
    setOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepProbes);
    setOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, kUserTimeoutMs);
    setOption(fd, SOL_SOCKET, SO_SNDBUF, kSendBuffer);
}

int millisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

SystemError timedOut(const char* what)
{
    return SystemError{CommErrorKind::Gone, ETIMEDOUT, what};
}

SystemError cancelled() { return SystemError{CommErrorKind::Other, ECANCELED, "the connect was cancelled"}; }

// Waits until `fd` is ready for `events`, the deadline passes (0) or `cancel` fires (-1).
int waitFor(int fd, short events, int cancel, Clock::time_point deadline)
{
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {cancel, POLLIN, 0}};
        const int n = ::poll(fds, cancel >= 0 ? 2 : 1, millisecondsLeft(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        if (cancel >= 0 && fds[1].revents)
            return -1;
        return 1;
    }
}

int connectOne(const addrinfo& address, int cancel, Clock::time_point deadline, SystemError& error)
{
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        error = SocketError(errno);
        return -1;
    }
    tune(fd);
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0)
        return fd;
    if (errno != EINPROGRESS) {
        error = SocketError(errno);
        ::close(fd);
        return -1;
    }
    const int ready = waitFor(fd, POLLOUT, cancel, deadline);
    int err = 0;
    socklen_t length = sizeof err;
    if (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &length) == 0 && err == 0)
        return fd;
    error = ready < 0 ? cancelled() : ready == 0 ? timedOut("the server did not answer in time") : SocketError(err);
    ::close(fd);
    return -1;
}

// Sends what of `out` the socket takes now.
bool sendSome(int fd, std::string& out, SystemError& error)
{
    while (!out.empty()) {
        const SocketTransfer sent = SendSome(fd, out.data(), out.size());
        if (sent.failed()) {
            error = SocketError(sent.error);
            return false;
        }
        if (sent.wouldBlock)
            break;
        out.erase(0, sent.bytes);
    }
    return true;
}

// Takes what came into the protocol: false with `error` set when the server closed or
// the connection failed, or when the server asks faster than it reads the answers.
bool receiveSome(int fd, LineProtocol& protocol, SystemError& error)
{
    std::uint8_t buffer[1024];
    const SocketTransfer got = ReceiveSome(fd, buffer, sizeof buffer);
    if (got.closed) {
        error = ClosedByPeer(protocol.Input());
        return false;
    }
    if (got.failed()) {
        error = SocketError(got.error);
        return false;
    }
    protocol.Receive(buffer, got.bytes, Clock::now());
    if (!sendSome(fd, protocol.Outgoing(), error))
        return false;
    if (protocol.OutgoingOverflowed()) {
        error = AnswersNotRead();
        return false;
    }
    return true;
}

// Sends all of `out` (a few negotiation bytes) before the deadline.
bool sendAll(int fd, std::string& out, int cancel, Clock::time_point deadline, SystemError& error)
{
    for (;;) {
        if (!sendSome(fd, out, error))
            return false;
        if (out.empty())
            return true;
        const int ready = waitFor(fd, POLLOUT, cancel, deadline);
        if (ready <= 0) {
            error = ready < 0 ? cancelled() : timedOut("the server did not take the negotiation in time");
            return false;
        }
    }
    return true;
}

// RFC 2217: the server takes up the COM port option or declines it.
bool agree(int fd, LineProtocol& protocol, int cancel, Clock::time_point deadline, SystemError& error)
{
    protocol.Start();
    while (protocol.ComPort() == LineProtocol::Agreement::Pending) {
        if (!sendAll(fd, protocol.Outgoing(), cancel, deadline, error))
            return false;
        const int ready = waitFor(fd, POLLIN, cancel, deadline);
        if (ready <= 0) {
            error = ready < 0 ? cancelled()
                              : SystemError{CommErrorKind::NotAPort, ETIMEDOUT,
                                            "the server did not take up the COM port option (RFC 2217) in time"};
            return false;
        }
        if (!receiveSome(fd, protocol, error))
            return false;
    }
    if (protocol.ComPort() == LineProtocol::Agreement::Refused) {
        error = SystemError{CommErrorKind::NotAPort, -1, "the server does not offer the COM port option (RFC 2217)"};
        return false;
    }
    // The replies and the line-state mask; what does not go now goes with the first write.
    return sendSome(fd, protocol.Outgoing(), error);
}

} // namespace

Connection::Connection(std::string name, int socket, std::unique_ptr<LineProtocol> protocol)
    : name_(std::move(name)), socket_(socket), protocol_(std::move(protocol))
{
}

Connection::~Connection()
{
    if (socket_ >= 0)
        ::close(socket_);
}

int Connection::ReleaseSocket() { return std::exchange(socket_, -1); }

bool Connection::PutSettings(const TLineSettings& settings, int cancel, SystemError& error)
{
    LineProtocol& protocol = *protocol_;
    AnsweredSettings answered{settings, protocol.RequestSettings(settings)};
    if (!answered.outcome) {
        const Clock::time_point deadline = Clock::now() + kAnswerWait;
        while (protocol.SettingsPending()) {
            if (!sendSome(socket_, protocol.Outgoing(), error))
                return false;
            const short events = static_cast<short>(POLLIN | (protocol.Outgoing().empty() ? 0 : POLLOUT));
            const int ready = waitFor(socket_, events, cancel, deadline);
            if (ready < 0) {
                error = cancelled();
                return false;
            }
            if (ready == 0)
                break;
            if (!receiveSome(socket_, protocol, error))
                return false;
        }
        answered.outcome = protocol.SettingsPending() ? protocol.AbandonSettings() : protocol.SettingsResult();
    }
    settings_ = std::move(answered);
    return true;
}

std::unique_ptr<Connection> Connect(const std::string& name, std::chrono::milliseconds timeout, int cancel,
                                    SystemError& error)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    const std::optional<NetworkName> parsed = ParseNetworkName(name);
    if (!parsed) {
        error = SystemError{CommErrorKind::NotFound, -1, "not a network line: rfc2217://HOST:PORT or tcp://HOST:PORT"};
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (parsed->numericHost ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const std::string port = std::to_string(parsed->port);
    if (const int err = ::getaddrinfo(parsed->host.c_str(), port.c_str(), &hints, &found)) {
        error = err == EAI_SYSTEM ? SocketError(errno)
                                  : SystemError{CommErrorKind::NotFound, err, ::gai_strerror(err)};
        return nullptr;
    }
    int fd = -1;
    error = timedOut("the server did not answer in time");
    for (const addrinfo* address = found; address && fd < 0; address = address->ai_next) {
        if (Clock::now() >= deadline)
            break;
        fd = connectOne(*address, cancel, deadline, error);
        if (fd < 0 && error.code == ECANCELED)
            break;
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        return nullptr;

    auto protocol = std::make_unique<LineProtocol>(parsed->scheme);
    if (parsed->scheme == LineScheme::Rfc2217 && !agree(fd, *protocol, cancel, deadline, error)) {
        ::close(fd);
        return nullptr;
    }
    error = {};
    return std::make_unique<Connection>(name, fd, std::move(protocol));
}

} // namespace commport::net
