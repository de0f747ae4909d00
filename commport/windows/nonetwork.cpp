// Network lines are Linux only for now: on Windows a network name is refused as a
// setting this system does not have, and no connection is ever made.

#include "net/connector.h"
#include "net/netconnection.h"
#include "net/netdevice.h"

#include <utility>

namespace commport::net {

namespace {

backend::SystemError notHere()
{
    return backend::SystemError{CommErrorKind::Unsupported, -1, "network lines are not available on Windows yet"};
}

} // namespace

Connection::Connection(std::string name, int socket, std::unique_ptr<LineProtocol> protocol)
    : name_(std::move(name)), socket_(socket), protocol_(std::move(protocol))
{
}

Connection::~Connection() = default;

int Connection::ReleaseSocket() { return std::exchange(socket_, -1); }

std::unique_ptr<backend::Device> OpenNetworkDevice(const std::string&, backend::SystemError& error)
{
    error = notHere();
    return nullptr;
}

// The connect fails at once, on a thread as the real one would, so the session takes the
// refusal the way it takes any failed connect.
Connector::Connector(std::string, std::chrono::milliseconds, std::function<void()> done, std::optional<TLineSettings>)
    : done_(std::move(done)), error_(notHere())
{
    thread_ = std::thread([this] {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        if (done_)
            done_();
    });
}

Connector::~Connector()
{
    if (thread_.joinable())
        thread_.join();
}

void Connector::Cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
}

bool Connector::Ended() const
{
    std::lock_guard lock(mutex_);
    return ended_;
}

std::unique_ptr<Connection> Connector::Take(backend::SystemError& error)
{
    std::lock_guard lock(mutex_);
    error = error_;
    return std::move(connection_);
}

std::unique_ptr<backend::Device> OpenConnectedDevice(std::unique_ptr<Connection>, backend::SystemError& error)
{
    error = notHere();
    return nullptr;
}

} // namespace commport::net
