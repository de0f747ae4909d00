#pragma once
// The Telnet framing of a byte stream: data with 0xFF (IAC) doubled, option
// negotiation (IAC WILL/WONT/DO/DONT option) and subnegotiation (IAC SB option ...
// IAC SE). Pure: bytes in, data and commands out; the decoder keeps its place between
// chunks, so a command split over two reads of the socket is still one command.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace commport::net::telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kOptionBinary = 0;
inline constexpr std::uint8_t kOptionEcho = 1;
inline constexpr std::uint8_t kOptionSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptionComPort = 44;

// A subnegotiation longer than this is not one this side asked for: it is dropped
// whole rather than kept growing.
inline constexpr std::size_t kMaxSubnegotiation = 512;

// What the decoder finds besides data.
class CommandSink {
public:
    virtual ~CommandSink() = default;
    // IAC WILL/WONT/DO/DONT option.
    virtual void OnNegotiation(std::uint8_t verb, std::uint8_t option) = 0;
    // IAC SB option payload IAC SE, with the payload's doubled IACs made single.
    virtual void OnSubnegotiation(std::uint8_t option, std::string_view payload) = 0;
};

class Decoder {
public:
    // Appends the data bytes among `bytes` to `data` and tells `sink` of a command as
    // it completes, then stops: the number of bytes taken, up to and including that
    // command's last, so that the caller may act on it before the data after it.
    // Other two-byte commands (NOP, GA, break...) carry nothing for a serial line and
    // are passed over.
    std::size_t Feed(const std::uint8_t* bytes, std::size_t count, std::string& data, CommandSink& sink);

    // The other side sends in Telnet's text mode (it has not agreed to send binary):
    // a carriage return then comes as CR NUL, whose NUL is not data.
    void SetTextMode(bool on) { textMode_ = on; }

private:
    // True when `b` completed a command.
    bool step(std::uint8_t b, std::string& data, CommandSink& sink);
    void keep(std::uint8_t b);

    enum class State : std::uint8_t { Data, Iac, Verb, Sub, SubOption, SubIac };
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t subOption_ = 0;
    bool subOverflow_ = false;
    bool textMode_ = false;
    bool afterCr_ = false;
    std::string sub_;
};

// The wire form of `count` data bytes, appended to `out`: IAC doubled, and in text
// mode (the other side has not agreed to receive binary) CR followed by NUL.
void EncodeData(const std::uint8_t* bytes, std::size_t count, std::string& out, bool textMode);
// How many wire bytes one data byte takes: 1 or 2.
inline std::size_t EncodedSize(std::uint8_t byte, bool textMode)
{
    return byte == kIac || (textMode && byte == '\r') ? 2 : 1;
}

void AppendNegotiation(std::string& out, std::uint8_t verb, std::uint8_t option);
// IAC SB option payload IAC SE, with the payload's IACs doubled.
void AppendSubnegotiation(std::string& out, std::uint8_t option, std::string_view payload);

} // namespace commport::net::telnet
