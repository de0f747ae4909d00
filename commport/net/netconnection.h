#pragma once
// A connection to a serial device server, made and agreed (the COM port option taken
// up, for RFC 2217) and not yet a device: what a connect done away from the GUI thread
// hands to the component's Open (TCustomComm::SetPreparedConnection). The line settings
// can be put on it there too, so that the wait for the server's answers is not the
// GUI thread's either: Open then only takes the verdict.
//
// Only the host and port of the name are reached, and nothing here listens.

#include "backend.h"
#include "lineprotocol.h"
#include "networkname.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace commport::net {

// How long a connect may take in all: the name looked up, the connection made and
// the COM port option agreed.
inline constexpr std::chrono::milliseconds kConnectTimeout{5000};
// How long line settings wait for the server's answers. Each is one round trip, all
// asked at once.
inline constexpr std::chrono::milliseconds kAnswerWait{3000};

// Line settings put on a connection before a device took it over, and the server's
// verdict on them (nothing: taken).
struct AnsweredSettings {
    TLineSettings settings;
    backend::SystemError outcome;
};

class Connection {
public:
    Connection(std::string name, int socket, std::unique_ptr<LineProtocol> protocol);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The name as the operator wrote it.
    const std::string& Name() const { return name_; }

    // Puts `settings` on the line and waits for the server's answers, at most
    // kAnswerWait; `cancel`, a descriptor that becomes readable, ends it early. A
    // refused setting is a verdict kept for the device (Settings()); false, with
    // `error` set, only when the connection itself failed or the wait was cancelled.
    bool PutSettings(const TLineSettings& settings, int cancel, backend::SystemError& error);
    const std::optional<AnsweredSettings>& Settings() const { return settings_; }

    // For the device that takes the connection over.
    int ReleaseSocket();
    std::unique_ptr<LineProtocol> ReleaseProtocol() { return std::move(protocol_); }

private:
    std::string name_;
    int socket_;
    std::unique_ptr<LineProtocol> protocol_;
    std::optional<AnsweredSettings> settings_;
};

// Connects to `name` and, for RFC 2217, has the server take up the COM port option,
// within `timeout`. Blocks the calling thread; `cancel`, a descriptor that becomes
// readable, ends it early (-1: none). nullptr with `error` set on failure: the name
// not found, nothing listening, no answer in time, the server closing at once (with
// what it said) or refusing the COM port option.
std::unique_ptr<Connection> Connect(const std::string& name, std::chrono::milliseconds timeout, int cancel,
                                    backend::SystemError& error);

} // namespace commport::net
