// Network lines are Linux only for now: on Windows a network name is refused as a
// setting this system does not have, and no connection is ever made.

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

std::unique_ptr<backend::Device> OpenConnectedDevice(std::unique_ptr<Connection>, backend::SystemError& error)
{
    error = notHere();
    return nullptr;
}

} // namespace commport::net
