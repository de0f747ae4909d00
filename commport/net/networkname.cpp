#include "networkname.h"

#include <algorithm>
#include <cctype>

namespace commport::net {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Letters, digits and inner hyphens, labels of 1 to 63 characters, 253 in all; a
// trailing dot (the root) is allowed. All digits in every label would be an IPv4
// address gone wrong ("300.1.1.1"), not a name.
bool isHostName(std::string_view text)
{
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    if (text.empty() || text.size() > 253)
        return false;
    bool allNumeric = true;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('.', start), text.size());
        const std::string_view label = text.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label) {
            if (!isLetter(c) && !isDigit(c) && c != '-')
                return false;
            allNumeric = allNumeric && isDigit(c);
        }
        start = end + 1;
    }
    return !allNumeric;
}

} // namespace

bool IsIpv4Address(std::string_view text)
{
    int parts = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('.', start), text.size());
        const std::string_view part = text.substr(start, end - start);
        // No leading zeros: "010" is octal to some resolvers and decimal to others.
        if (part.empty() || part.size() > 3 || (part.size() > 1 && part.front() == '0'))
            return false;
        int value = 0;
        for (char c : part) {
            if (!isDigit(c))
                return false;
            value = value * 10 + (c - '0');
        }
        if (value > 255)
            return false;
        ++parts;
        start = end + 1;
    }
    return parts == 4;
}

bool IsIpv6Address(std::string_view text)
{
    // Up to eight groups of 1 to 4 hex digits, one "::" standing for one or more zero
    // groups, and an IPv4 address in place of the last two groups.
    int groups = 0;
    bool compressed = false;
    std::size_t i = 0;
    if (text.substr(0, 2) == "::") {
        compressed = true;
        i = 2;
        if (i == text.size())
            return true;
    } else if (!text.empty() && text.front() == ':') {
        return false;
    }
    while (i < text.size()) {
        std::size_t end = i;
        while (end < text.size() && text[end] != ':')
            ++end;
        const std::string_view group = text.substr(i, end - i);
        if (end == text.size() && group.find('.') != std::string_view::npos) {
            if (!IsIpv4Address(group))
                return false;
            groups += 2;
            break;
        }
        if (group.empty() || group.size() > 4 || !std::all_of(group.begin(), group.end(), isHexDigit))
            return false;
        ++groups;
        if (end == text.size())
            break;
        // end is a ':'
        if (end + 1 < text.size() && text[end + 1] == ':') {
            if (compressed)
                return false;
            compressed = true;
            i = end + 2;
            if (i == text.size())
                break;
        } else {
            i = end + 1;
            if (i == text.size())
                return false; // a trailing single ':'
        }
    }
    return compressed ? groups < 8 : groups == 8;
}

bool IsNetworkName(std::string_view name)
{
    return startsWithNoCase(name, "rfc2217:") || startsWithNoCase(name, "tcp:");
}

std::optional<NetworkName> ParseNetworkName(std::string_view name, NameFault* fault)
{
    NameFault ignored;
    NameFault& why = fault ? *fault : ignored;
    why = NameFault::None;
    const auto refuse = [&why](NameFault f) -> std::optional<NetworkName> {
        why = f;
        return std::nullopt;
    };

    NetworkName parsed;
    std::string_view rest;
    if (startsWithNoCase(name, "rfc2217:")) {
        parsed.scheme = LineScheme::Rfc2217;
        rest = name.substr(8);
    } else if (startsWithNoCase(name, "tcp:")) {
        parsed.scheme = LineScheme::RawTcp;
        rest = name.substr(4);
    } else {
        return refuse(NameFault::NoSlashes);
    }
    if (rest.substr(0, 2) != "//")
        return refuse(NameFault::NoSlashes);
    rest.remove_prefix(2);
    // The authority ends at the first '/', '?' or '#'; only an empty path may follow.
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view authority = rest.substr(0, authorityEnd);
    const std::string_view after = rest.substr(authorityEnd);
    if (authority.find('@') != std::string_view::npos)
        return refuse(NameFault::UserInfo);

    std::string_view host;
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return refuse(NameFault::BadHost);
        host = authority.substr(1, close - 1);
        if (host.empty())
            return refuse(NameFault::NoHost);
        if (!IsIpv6Address(host))
            return refuse(NameFault::BadHost);
        parsed.numericHost = true;
        const std::string_view tail = authority.substr(close + 1);
        if (tail.empty())
            return refuse(NameFault::NoPort);
        if (tail.front() != ':')
            return refuse(NameFault::BadHost);
        portText = tail.substr(1);
    } else {
        const std::size_t colon = authority.rfind(':');
        if (colon == std::string_view::npos) {
            if (authority.empty())
                return refuse(NameFault::NoHost);
            return refuse(after.empty() ? NameFault::NoPort : NameFault::Trailing);
        }
        host = authority.substr(0, colon);
        portText = authority.substr(colon + 1);
        if (host.empty())
            return refuse(NameFault::NoHost);
        // An IPv6 address needs its brackets: "::1:4001" has no single reading.
        if (host.find(':') != std::string_view::npos)
            return refuse(NameFault::BadHost);
        if (IsIpv4Address(host))
            parsed.numericHost = true;
        else if (!isHostName(host))
            return refuse(NameFault::BadHost);
    }
    if (portText.empty())
        return refuse(NameFault::NoPort);
    if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(), isDigit))
        return refuse(NameFault::BadPort);
    int port = 0;
    for (char c : portText)
        port = port * 10 + (c - '0');
    if (port < 1 || port > 65535)
        return refuse(NameFault::BadPort);
    if (!after.empty() && after != "/")
        return refuse(NameFault::Trailing);
    parsed.host = std::string(host);
    parsed.port = static_cast<std::uint16_t>(port);
    return parsed;
}

} // namespace commport::net
