#pragma once
// A peer of the test's own on 127.0.0.1, for what a well-behaved serial device server
// never does: floods, never reads, never answers, resets in the middle of a reply, closes
// each connection at once. It listens (the test does; the console never listens) and
// runs the test's behaviour on a thread of its own for each connection it accepts, one
// at a time. Plain C++, so that benchmarks use it too.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qldixw::testing {

// One accepted connection, as the behaviour sees it. Every call gives up once the peer
// is stopping, so a behaviour that loops on them ends with the peer.
class PeerConnection {
public:
    PeerConnection(int socket, const std::atomic<bool>& stopping);
    ~PeerConnection();
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    bool stopping() const { return stopping_.load(); }
    // Sends all of `bytes`, waiting for room as long as it takes: false when the peer
    // stops or the connection fails.
    bool send(std::string_view bytes);
    // What came within `timeout` (empty: nothing, or the other side closed).
    std::string receive(std::chrono::milliseconds timeout);
    // Reads and drops whatever comes for `time`, or until the other side closes.
    void idle(std::chrono::milliseconds time);
    // Takes what comes for `time`, answering each COM port request (RFC 2217) with the
    // value asked for, as a server that takes every setting does; ends early once the
    // bytes received so far hold `until` (when not empty), and says whether they do.
    bool answerComPortRequests(std::chrono::milliseconds time, std::string_view until = {});
    // Ends the connection with a reset instead of an orderly close.
    void reset();
    // Bytes sent so far (any thread).
    std::uint64_t sent() const { return sent_.load(); }

private:
    int socket_;
    const std::atomic<bool>& stopping_;
    std::atomic<std::uint64_t> sent_{0};
    std::string pending_; // received bytes not yet parsed for requests
    std::string seen_;    // every byte received by answerComPortRequests
};

class LoopbackPeer {
public:
    using Behaviour = std::function<void(PeerConnection&)>;

    // Listens on a free port of 127.0.0.1 at once.
    explicit LoopbackPeer(Behaviour behaviour);
    // Stops: the behaviour under way sees stopping() and its calls give up.
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    std::uint16_t port() const { return port_; }
    // "rfc2217://127.0.0.1:PORT" or "tcp://127.0.0.1:PORT".
    std::string name(bool rfc2217) const;
    // Connections accepted so far, and when (steady clock).
    int accepted() const;
    std::vector<std::chrono::steady_clock::time_point> acceptTimes() const;
    // Bytes the connection under way has sent (0 when none).
    std::uint64_t sent() const;
    // Replaces what the next connections meet.
    void setBehaviour(Behaviour behaviour);

private:
    void run();

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    Behaviour behaviour_;
    std::vector<std::chrono::steady_clock::time_point> accepts_;
    PeerConnection* current_ = nullptr;
    std::thread thread_;
};

// Telnet bytes a hostile server sends.
namespace telnetbytes {
// Takes up the COM port option and binary transmission both ways, unasked.
std::string agreeComPort();
} // namespace telnetbytes

} // namespace qldixw::testing
