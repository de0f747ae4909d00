#pragma once
// Debian's ser2net as the serial device server of a test: it publishes one device (a
// pseudo-terminal's port side) on 127.0.0.1 only, with the COM port option (RFC 2217)
// or as a bare TCP pipe, and is stopped and started again by the test. Plain C++, so
// that benchmarks use it too.

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace qldixw::testing {

class SerialServer {
public:
    enum class Kind { Rfc2217, RawTcp };

    // Starts the server on a free port of 127.0.0.1 for `devicePath`, as "4800n82,local"
    // (no modem lines). running() tells whether it came up.
    SerialServer(std::string devicePath, Kind kind = Kind::Rfc2217);
    ~SerialServer();
    SerialServer(const SerialServer&) = delete;
    SerialServer& operator=(const SerialServer&) = delete;

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    std::uint16_t port() const { return port_; }
    // "rfc2217://127.0.0.1:PORT" or "tcp://127.0.0.1:PORT".
    std::string name() const;

    // Stops it (its connections close); start() brings it back on the same port.
    void stop();
    bool start();

    // Whether the ser2net program is installed (scripts/deps.sh installs it).
    static bool available();

private:
    bool launch();

    std::string devicePath_;
    Kind kind_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
    std::string pidFile_;
};

// A server on 127.0.0.1 that takes no more connections: its queue is full, so a connect
// to it is neither accepted nor refused, as with a host that does not answer.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    std::uint16_t port() const { return port_; }

private:
    int listener_ = -1;
    int fillers_[3] = {-1, -1, -1};
    std::uint16_t port_ = 0;
};

// A port of 127.0.0.1 that nothing listens on as this is called.
std::uint16_t freeLoopbackPort();
// Whether something listens on 127.0.0.1:port (the kernel's own table, so nothing is
// connected to find out).
bool listeningOn(std::uint16_t port);

} // namespace qldixw::testing
