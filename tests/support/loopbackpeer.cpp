#include "loopbackpeer.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qldixw::testing {

namespace {

// How long each wait lasts before the stop is looked at again.
constexpr int kSliceMs = 20;

constexpr char kIac = '\xff';
constexpr char kSb = '\xfa';
constexpr char kSe = '\xf0';
constexpr char kComPortOption = 44;

} // namespace

namespace telnetbytes {

std::string agreeComPort()
{
    // DO COM-PORT-OPTION, DO BINARY, WILL BINARY.
    return std::string("\xff\xfd\x2c\xff\xfd\x00\xff\xfb\x00", 9);
}

} // namespace telnetbytes

PeerConnection::PeerConnection(int socket, const std::atomic<bool>& stopping)
    : socket_(socket), stopping_(stopping)
{
}

PeerConnection::~PeerConnection()
{
    if (socket_ >= 0)
        ::close(socket_);
}

bool PeerConnection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (stopping() || socket_ < 0)
            return false;
        pollfd fd{socket_, POLLOUT, 0};
        if (::poll(&fd, 1, kSliceMs) <= 0)
            continue;
        const ssize_t n = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        sent_ += static_cast<std::uint64_t>(n);
    }
    return true;
}

std::string PeerConnection::receive(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!stopping() && socket_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fd{socket_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), kSliceMs))) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            return std::string(buffer, static_cast<std::size_t>(n));
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return {};
}

void PeerConnection::idle(std::chrono::milliseconds time)
{
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (!stopping() && socket_ >= 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd fd{socket_, POLLIN, 0};
        if (::poll(&fd, 1, kSliceMs) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return;
    }
}

bool PeerConnection::answerComPortRequests(std::chrono::milliseconds time, std::string_view until)
{
    const auto deadline = std::chrono::steady_clock::now() + time;
    const auto found = [&] { return !until.empty() && seen_.find(until) != std::string::npos; };
    while (!stopping() && !found() && std::chrono::steady_clock::now() < deadline) {
        const std::string got = receive(std::chrono::milliseconds(kSliceMs));
        pending_ += got;
        seen_ += got;
        // IAC SB COM-PORT code value... IAC SE: answered with code + 100 and the same value.
        for (;;) {
            const std::size_t start = pending_.find(std::string{kIac, kSb, kComPortOption});
            if (start == std::string::npos)
                break;
            const std::size_t end = pending_.find(std::string{kIac, kSe}, start + 3);
            if (end == std::string::npos)
                break;
            std::string payload = pending_.substr(start + 3, end - start - 3);
            pending_.erase(0, end + 2);
            if (payload.empty())
                continue;
            payload[0] = static_cast<char>(static_cast<unsigned char>(payload[0]) + 100);
            if (!send(std::string{kIac, kSb, kComPortOption} + payload + std::string{kIac, kSe}))
                return found();
        }
    }
    return found();
}

void PeerConnection::reset()
{
    if (socket_ < 0)
        return;
    const linger abort{1, 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(socket_);
    socket_ = -1;
}

LoopbackPeer::LoopbackPeer(Behaviour behaviour)
    : behaviour_(std::move(behaviour))
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 8);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

LoopbackPeer::~LoopbackPeer()
{
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

std::string LoopbackPeer::name(bool rfc2217) const
{
    return (rfc2217 ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port_);
}

int LoopbackPeer::accepted() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(accepts_.size());
}

std::vector<std::chrono::steady_clock::time_point> LoopbackPeer::acceptTimes() const
{
    std::lock_guard lock(mutex_);
    return accepts_;
}

std::uint64_t LoopbackPeer::sent() const
{
    std::lock_guard lock(mutex_);
    return current_ ? current_->sent() : 0;
}

void LoopbackPeer::setBehaviour(Behaviour behaviour)
{
    std::lock_guard lock(mutex_);
    behaviour_ = std::move(behaviour);
}

void LoopbackPeer::run()
{
    while (!stopping_) {
        pollfd fd{listener_, POLLIN, 0};
        if (::poll(&fd, 1, kSliceMs) <= 0)
            continue;
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            continue;
        PeerConnection connection(socket, stopping_);
        Behaviour behaviour;
        {
            std::lock_guard lock(mutex_);
            accepts_.push_back(std::chrono::steady_clock::now());
            current_ = &connection;
            behaviour = behaviour_;
        }
        if (behaviour)
            behaviour(connection);
        std::lock_guard lock(mutex_);
        current_ = nullptr;
    }
}

} // namespace qldixw::testing
