#pragma once
// The test's side of the conversation with the Linux peer (peer/winepeer.cpp), which
// plays the devices: one request line, one answer line, over a local TCP connection
// whose port the peer puts in QLDIXW_PEER.

#include <chrono>
#include <string>

namespace wintest {

// Raised when the peer is missing, refuses a request or goes away.
struct PeerError : std::exception {
    explicit PeerError(std::string text) : text(std::move(text)) {}
    const char* what() const noexcept override { return text.c_str(); }
    std::string text;
};

// The connection to the peer, opened on first use.
class Peer {
public:
    static Peer& instance();
    // Sends one request; the answer after "ok" (may be empty). Throws PeerError on "err".
    std::string request(const std::string& line);

private:
    Peer();
    unsigned long long socket_;
    std::string buffer_;
};

// One device the peer plays, published as a COM port of the Wine prefix.
class PeerDevice {
public:
    enum class Start { Raw, KernelDefaults };
    explicit PeerDevice(Start start = Start::Raw);

    // "COM101"
    const std::string& name() const { return name_; }
    // "\\.\COM101": COM10 and above can only be opened by this path on Windows.
    std::string path() const { return "\\\\.\\" + name_; }

    void send(const std::string& bytes);
    // Reads on the device side until `count` bytes came or the time passed.
    std::string receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads until what came ends with `tail`, or the time passed.
    std::string receiveThrough(const std::string& tail, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The device side's terminal settings: "speed=4800 csize=8 parenb=0 ...".
    std::string settings();
    // Value of one field of settings(), -1 when missing.
    long setting(const std::string& field);
    // The line takes nothing more (its output is stopped) until unstall.
    void stall();
    void unstall();
    void flood(bool on);
    // The device vanishes: its name first, then the device itself.
    void unplug();
    // A new device comes under the same name.
    void replug(Start start = Start::Raw);

private:
    std::string ask(const std::string& verb, const std::string& rest = {});
    std::string name_;
    int number_ = 0;
};

std::string toHex(const std::string& bytes);
std::string fromHex(const std::string& hex);

// Whether the program runs under Wine rather than on Windows.
bool underWine();

} // namespace wintest
