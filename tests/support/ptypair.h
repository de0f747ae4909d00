#pragma once
// A pseudo-terminal pair standing in for a serial cable: the "device" end is the
// master side, kept by the test (or the simulator); the "port" end is the slave path
// that the program opens like any serial device. Plain C++ so that every test and
// benchmark can use it, with or without Qt.

#include <chrono>
#include <cstddef>
#include <string>

namespace qldixw::testing {

class PtyPair {
public:
    enum class Start {
        // No echo, no line buffering: bytes pass unchanged even before the port is opened.
        Raw,
        // The line discipline's defaults (echo, canonical input, XON/XOFF, CR/LF mapping),
        // as a freshly plugged adapter comes up: whoever opens the port must set it up.
        KernelDefaults,
    };
    // Creates the pair. Throws std::runtime_error.
    explicit PtyPair(Start start = Start::Raw);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Path of the port side, e.g. /dev/pts/7.
    const std::string& portPath() const { return portPath_; }
    // The device side (non-blocking); -1 after unplug().
    int deviceFd() const { return deviceFd_; }

    // Writes every byte from the device side, waiting for room as needed.
    // False when the time-out passed or the line failed first.
    bool send(const void* data, std::size_t count,
              std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool send(const std::string& bytes) { return send(bytes.data(), bytes.size()); }

    // Reads on the device side until `count` bytes came or the time-out passed.
    std::string receive(std::size_t count,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // What the device side can read right now, without waiting.
    std::string receiveAvailable();

    // The device vanishes: the device side is closed, the port side hangs up.
    void unplug();

private:
    int deviceFd_ = -1;
    std::string portPath_;
};

// Bytes waiting in the input queue of an open terminal descriptor, or -1.
int queuedInput(int fd);

// The output line speed in bit/s that a terminal reports (custom speeds included), or 0.
unsigned lineSpeed(int fd);

} // namespace qldixw::testing
