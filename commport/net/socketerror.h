#pragma once
// Socket failures as the component's kinds: a peer that went away is a vanished device.

#include "backend.h"

#include <string>

namespace commport::net {

backend::SystemError SocketError(int err);
// The peer closed the connection; `said` is what it sent last, when that is text
// (a server that cannot open its own device says so before it closes).
backend::SystemError ClosedByPeer(const std::string& said);
// The server asks (Telnet negotiation) faster than it reads the answers: more than
// kOutgoingLimit of them wait to go out.
backend::SystemError AnswersNotRead();
// The printable part of what a server said, on one line, at most `limit` characters.
std::string PrintableText(const std::string& bytes, std::size_t limit = 200);

} // namespace commport::net
