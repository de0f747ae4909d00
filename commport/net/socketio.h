#pragma once
// The socket calls of a network line that move bytes, never waiting: the seam where
// another system's sockets take the place of these. A signal that interrupts a call is
// no failure: the call is made again.

#include <cstddef>

namespace commport::net {

struct SocketTransfer {
    std::size_t bytes = 0;   // moved
    bool wouldBlock = false; // nothing moved: the system has no room or nothing came
    bool closed = false;     // receive: the peer closed its side, all before it taken
    int error = 0;           // the system's code of a failed call, else 0
    bool failed() const { return error != 0; }
};

// Takes up to `count` received bytes.
SocketTransfer ReceiveSome(int socket, void* buffer, std::size_t count);
// Hands up to `count` bytes to the system; a peer that is gone is an error (EPIPE), never
// a signal.
SocketTransfer SendSome(int socket, const void* buffer, std::size_t count);

} // namespace commport::net
