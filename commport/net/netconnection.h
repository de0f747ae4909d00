#pragma once
// A connection to a serial device server, made and agreed (the COM port option taken
// up, for RFC 2217) and not yet a device: what a connect done away from the GUI thread
// hands to the component's Open (TCustomComm::SetPreparedConnection), which then only
// puts the line settings on it.
//
// Only the host and port of the name are reached, and nothing here listens.

#include "backend.h"
#include "lineprotocol.h"
#include "networkname.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace commport::net {

// How long a connect may take in all: the name looked up, the connection made and
// the COM port option agreed.
inline constexpr std::chrono::milliseconds kConnectTimeout{5000};

class Connection {
public:
    Connection(std::string name, int socket, std::unique_ptr<LineProtocol> protocol);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The name as the operator wrote it.
    const std::string& Name() const { return name_; }

    // For the device that takes the connection over.
    int ReleaseSocket();
    std::unique_ptr<LineProtocol> ReleaseProtocol() { return std::move(protocol_); }

private:
    std::string name_;
    int socket_;
    std::unique_ptr<LineProtocol> protocol_;
};

// Connects to `name` and, for RFC 2217, has the server take up the COM port option,
// within `timeout`. Blocks the calling thread; `cancel`, a descriptor that becomes
// readable, ends it early (-1: none). nullptr with `error` set on failure: the name
// not found, nothing listening, no answer in time, the server closing at once (with
// what it said) or refusing the COM port option.
std::unique_ptr<Connection> Connect(const std::string& name, std::chrono::milliseconds timeout, int cancel,
                                    backend::SystemError& error);

} // namespace commport::net
