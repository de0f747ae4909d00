#include "peerclient.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>

namespace wintest {

std::string toHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string fromHex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

bool underWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

Peer& Peer::instance()
{
    static Peer peer;
    return peer;
}

Peer::Peer() : socket_(INVALID_SOCKET)
{
    const char* where = std::getenv("QLDIXW_PEER");
    if (!where)
        throw PeerError("QLDIXW_PEER is not set: run the test through qldixw-winepeer");
    const std::string address(where);
    const std::size_t colon = address.rfind(':');
    WSADATA wsa;
    if (colon == std::string::npos || ::WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        throw PeerError("cannot reach the peer at " + address);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(std::stoi(address.substr(colon + 1))));
    ::inet_pton(AF_INET, address.substr(0, colon).c_str(), &to.sin_addr);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET || ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
        throw PeerError("cannot connect to the peer at " + address);
    socket_ = s;
}

std::string Peer::request(const std::string& line)
{
    const SOCKET s = static_cast<SOCKET>(socket_);
    const std::string out = line + "\n";
    for (std::size_t done = 0; done < out.size();) {
        const int n = ::send(s, out.data() + done, static_cast<int>(out.size() - done), 0);
        if (n <= 0)
            throw PeerError("the peer went away");
        done += static_cast<std::size_t>(n);
    }
    for (;;) {
        const std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string answer = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (answer.rfind("ok", 0) == 0)
                return answer.size() > 3 ? answer.substr(3) : std::string();
            throw PeerError("peer: " + answer + " (asked: " + line.substr(0, 80) + ")");
        }
        char chunk[65536];
        const int n = ::recv(s, chunk, sizeof chunk, 0);
        if (n <= 0)
            throw PeerError("the peer went away");
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

PeerDevice::PeerDevice(Start start)
{
    name_ = Peer::instance().request(start == Start::Raw ? "open raw" : "open defaults");
    number_ = std::stoi(name_.substr(3));
}

std::string PeerDevice::ask(const std::string& verb, const std::string& rest)
{
    return Peer::instance().request(verb + " " + std::to_string(number_) + (rest.empty() ? "" : " " + rest));
}

void PeerDevice::send(const std::string& bytes) { ask("send", toHex(bytes)); }

std::string PeerDevice::receive(std::size_t count, std::chrono::milliseconds timeout)
{
    return fromHex(ask("recv", std::to_string(count) + " " + std::to_string(timeout.count())));
}

std::string PeerDevice::receiveThrough(const std::string& tail, std::chrono::milliseconds timeout)
{
    return fromHex(ask("recvuntil", toHex(tail) + " " + std::to_string(timeout.count())));
}

std::string PeerDevice::settings() { return ask("settings"); }

long PeerDevice::setting(const std::string& field)
{
    const std::string all = " " + settings() + " ";
    const std::size_t at = all.find(" " + field + "=");
    if (at == std::string::npos)
        return -1;
    return std::stol(all.substr(at + field.size() + 2));
}

void PeerDevice::stall() { ask("stall"); }
void PeerDevice::unstall() { ask("unstall"); }
void PeerDevice::flood(bool on) { ask("flood", on ? "on" : "off"); }
void PeerDevice::unplug() { ask("unplug"); }
void PeerDevice::replug(Start start) { ask("replug", start == Start::Raw ? "raw" : "defaults"); }

} // namespace wintest
