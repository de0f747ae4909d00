#pragma once
// A connect to a serial device server on a thread of its own, so that the window goes
// on while a name is looked up, a host that does not answer is waited for, and the
// server's answers to the line settings are awaited.

#include "backend.h"
#include "commtypes.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace commport::net {

class Connection;

class Connector {
public:
    // Starts at once. `done` runs on the connector's thread when the attempt has ended,
    // cancelled or not; it must only take note (post to the GUI thread). With `settings`,
    // the connection made gets them, and the server's verdict, within kAnswerWait more
    // (Connection::PutSettings).
    Connector(std::string name, std::chrono::milliseconds timeout, std::function<void()> done,
              std::optional<TLineSettings> settings = std::nullopt);
    // Cancels and waits for the thread. A name lookup under way cannot be interrupted
    // and is waited for: keep a cancelled connector until its thread has ended (Ended)
    // where that wait matters.
    ~Connector();
    Connector(const Connector&) = delete;
    Connector& operator=(const Connector&) = delete;

    // Any thread: the attempt ends as soon as it can, as a failure.
    void Cancel();
    bool Ended() const;
    // After `done`: the connection, or nullptr with the failure in `error`.
    std::unique_ptr<Connection> Take(backend::SystemError& error);

private:
    void run(std::string name, std::chrono::milliseconds timeout, std::optional<TLineSettings> settings);

    mutable std::mutex mutex_;
    std::function<void()> done_;
    bool cancelled_ = false;
    bool ended_ = false;
    std::unique_ptr<Connection> connection_;
    backend::SystemError error_;
    int cancelFd_ = -1;
    std::thread thread_;
};

} // namespace commport::net
