#pragma once
// The name of a line behind a serial device server: "rfc2217://HOST:PORT" (the Telnet
// COM port option carries the line settings) or "tcp://HOST:PORT" (a bare byte pipe).
// HOST is an IPv4 address, an IPv6 address in brackets or a host name; nothing may
// follow the port, so the name says exactly which host and port are reached.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace commport::net {

enum class LineScheme { Rfc2217, RawTcp };

struct NetworkName {
    LineScheme scheme = LineScheme::Rfc2217;
    std::string host;     // as the system's resolver takes it: no brackets
    std::uint16_t port = 0;
    bool numericHost = false; // an address, not a name to resolve
};

// Why a name that asks for a network line is not one.
enum class NameFault {
    None,
    NoSlashes,   // "rfc2217:host:port"
    NoHost,
    BadHost,     // neither an address nor a host name
    NoPort,
    BadPort,     // not a number from 1 to 65535
    Trailing,    // a path, a query or anything else after the port
    UserInfo,    // "user@host": the console logs in nowhere
};

// Whether `name` asks for a network line at all: it starts with one of the two schemes
// (in any case). Such a name never reaches the local device backend, valid or not.
bool IsNetworkName(std::string_view name);

// The parts of a network name; std::nullopt with `fault` set when it is not valid.
std::optional<NetworkName> ParseNetworkName(std::string_view name, NameFault* fault = nullptr);

// Whether `text` is an IPv6 address in its textual form (no brackets, no zone).
bool IsIpv6Address(std::string_view text);
bool IsIpv4Address(std::string_view text);

} // namespace commport::net
