#include "connector.h"

#include "netconnection.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace commport::net {

Connector::Connector(std::string name, std::chrono::milliseconds timeout, std::function<void()> done,
                     std::optional<TLineSettings> settings)
    : done_(std::move(done))
{
    cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this, name = std::move(name), timeout, settings]() mutable {
        run(std::move(name), timeout, settings);
    });
}

Connector::~Connector()
{
    Cancel();
    if (thread_.joinable())
        thread_.join();
    if (cancelFd_ >= 0)
        ::close(cancelFd_);
}

void Connector::Cancel()
{
    {
        std::lock_guard lock(mutex_);
        if (cancelled_)
            return;
        cancelled_ = true;
    }
    if (cancelFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(cancelFd_, &one, sizeof one);
    }
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

void Connector::run(std::string name, std::chrono::milliseconds timeout, std::optional<TLineSettings> settings)
{
    backend::SystemError error;
    std::unique_ptr<Connection> connection;
    if (cancelFd_ < 0)
        error = backend::SystemError{CommErrorKind::Other, errno, "no event descriptor for the connect"};
    else
        connection = Connect(name, timeout, cancelFd_, error);
    if (connection && settings && !connection->PutSettings(*settings, cancelFd_, error))
        connection.reset();
    {
        std::lock_guard lock(mutex_);
        // Made, but no longer wanted (the cancel came after the last wait).
        if (cancelled_ && connection) {
            connection.reset();
            error = backend::SystemError{CommErrorKind::Other, ECANCELED, "the connect was cancelled"};
        }
        connection_ = std::move(connection);
        error_ = error;
        ended_ = true;
    }
    if (done_)
        done_();
}

} // namespace commport::net
