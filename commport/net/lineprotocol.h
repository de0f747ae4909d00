#pragma once
// What is said over the connection to a serial device server, without the socket: the
// Telnet COM port option (RFC 2217) or a bare byte pipe. Bytes received go in, data
// for the component and the answers to this side's requests come out; what this side
// has to send (data in its wire form, negotiation, requests) is appended to Outgoing().
// Pure and single-threaded: the device that owns it keeps it under its lock and hands
// it the time where time matters.
//
// RFC 2217 from the client's side: it offers the option (WILL COM-PORT-OPTION) and asks
// for binary transmission both ways, so that every byte value passes; the server's own
// offers are taken where they do no harm (binary, suppress go-ahead) and declined
// otherwise (echo above all, which would send the device's bytes back to it).
//
// Line settings go as one burst of requests, and the server answers each with the value
// it now has. A refusal is an answer with another value; a request it does not answer
// at all is one it cannot serve. Raising DTR, which a chosen handshake asks for, is sent
// first and only hoped for: a server with no modem lines (a pseudo-terminal) leaves it
// unanswered, and once every later request has its answer, it is passed over.

#include "backend.h"
#include "commtypes.h"
#include "lineerrors.h"
#include "networkname.h"
#include "telnetcodec.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace commport::net {

// Requests of the COM port option, client to server; the server answers with 100 more.
namespace comport {
inline constexpr std::uint8_t kSignature = 0;
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kNotifyLineState = 6;
inline constexpr std::uint8_t kNotifyModemState = 7;
inline constexpr std::uint8_t kFlowControlSuspend = 8;
inline constexpr std::uint8_t kFlowControlResume = 9;
inline constexpr std::uint8_t kSetLineStateMask = 10;
inline constexpr std::uint8_t kSetModemStateMask = 11;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

// SET-CONTROL values used here.
inline constexpr std::uint8_t kControlNoFlow = 1;
inline constexpr std::uint8_t kControlXonXoff = 2;
inline constexpr std::uint8_t kControlHardware = 3;
inline constexpr std::uint8_t kControlDtrOn = 8;
inline constexpr std::uint8_t kControlDsrFlow = 19;

// PURGE-DATA: the server's buffer of bytes received from the device.
inline constexpr std::uint8_t kPurgeReceived = 1;
} // namespace comport

// A speed the server reports within this of the one asked for was taken (a UART rounds).
inline constexpr unsigned kSpeedTolerancePercent = 2;

// The line-state bits whose notices feed the error counters: overrun, parity, framing,
// break.
inline constexpr std::uint8_t kLineStateErrors = 0x1E;

// The most data kept unread, as a serial port's kernel buffer keeps about this much: the
// socket is not read while it waits (TCP's flow control then holds the server back), and
// data that must be read past it, to reach an answer behind it, is dropped and counted
// as an overrun, as a full buffer drops it.
inline constexpr std::size_t kInputLimit = 4096;
// The most this side keeps to send beyond what the socket took: a few requests and the
// answers to the server's negotiation. A server that asks faster than it reads the
// answers passes it, and is no line to keep.
inline constexpr std::size_t kOutgoingLimit = 4096;

class LineProtocol : private telnet::CommandSink {
public:
    using Clock = std::chrono::steady_clock;

    explicit LineProtocol(LineScheme scheme);

    LineScheme Scheme() const { return scheme_; }

    // The opening negotiation (RFC 2217 only): what this side offers and asks for.
    void Start();
    enum class Agreement { Pending, Agreed, Refused };
    // Whether the server took up the COM port option. A bare pipe agrees at once.
    Agreement ComPort() const;

    // Received bytes. Data goes to Input(), except what a purge under way discards; what
    // finds kInputLimit reached is dropped and counted as a buffer overrun.
    void Receive(const std::uint8_t* bytes, std::size_t count, Clock::time_point now);
    // Data received and not yet taken.
    std::string& Input() { return input_; }
    // Bytes to send, in order; the owner sends them and erases what went.
    std::string& Outgoing() { return outgoing_; }

    // How many received bytes may be taken from the socket now without passing
    // kInputLimit: a data byte takes at least one byte on the wire.
    std::size_t InputRoom() const;
    // Whether the socket is to be read whatever room there is: answers to this side's
    // requests are awaited (line settings, a purge's confirmation), and they come behind
    // the data.
    bool AwaitsAnswers() const { return SettingsPending() || purgesUnconfirmed_ > 0; }
    // More than kOutgoingLimit waits to go out, after the owner sent what the socket
    // took: the server does not read what it asks for.
    bool OutgoingOverflowed() const { return outgoing_.size() > kOutgoingLimit; }

    // Whether data goes on the wire in Telnet's text mode (CR as CR NUL).
    bool TextModeOut() const;
    // Data in its wire form.
    void EncodeData(const std::uint8_t* bytes, std::size_t count, std::string& out) const;
    // How many wire bytes one data byte takes.
    std::size_t WireSize(std::uint8_t byte) const
    {
        return scheme_ == LineScheme::Rfc2217 ? telnet::EncodedSize(byte, TextModeOut()) : 1;
    }

    // Queues the requests that put `settings` on the line, answered or refused later
    // (SettingsPending, SettingsResult). A record with something RFC 2217 cannot carry
    // is refused here and nothing is sent. A bare pipe sends nothing and is done.
    backend::SystemError RequestSettings(const TLineSettings& settings);
    // Answers still awaited that decide the outcome.
    bool SettingsPending() const;
    // The outcome once nothing is pending: the first refusal, or none.
    backend::SystemError SettingsResult() const { return settingsError_; }
    // The wait is over: what is still unanswered was not served. The requests are
    // forgotten, so a late answer is taken for none of them.
    backend::SystemError AbandonSettings();

    // Drops the data received so far, and (RFC 2217) asks the server to drop what it
    // has received from the device and not sent yet; data arriving before the server
    // confirms is from before the purge and is dropped too, for at most `wait`.
    void PurgeInput(Clock::time_point now, Clock::duration wait);

    LineErrorCounts ErrorCounts() const { return errors_; }

    // The server's own name (SIGNATURE), when it told it.
    const std::string& ServerSignature() const { return signature_; }

private:
    struct Request {
        std::uint8_t code;
        std::string value;
        bool hopedFor; // sent, but its silence is no refusal
        bool answered = false;
    };
    // Per-option state of one side (RFC 1143, without the queue bit: this side never
    // changes its mind while a request is open).
    enum class Side : std::uint8_t { No, Yes, WantYes, WantNo };

    void OnNegotiation(std::uint8_t verb, std::uint8_t option) override;
    void OnSubnegotiation(std::uint8_t option, std::string_view payload) override;
    void onComPortAnswer(std::uint8_t code, std::string_view value);
    void sendRequest(std::uint8_t code, std::string value, bool hopedFor);
    bool weAccept(std::uint8_t option) const;
    bool theyMay(std::uint8_t option) const;

    const LineScheme scheme_;
    telnet::Decoder decoder_;
    std::string input_;
    // Data received while a purge waits for the server's confirmation.
    std::string held_;
    std::string outgoing_;
    Side us_[256] = {};
    Side them_[256] = {};
    std::vector<Request> requests_;
    backend::SystemError settingsError_;
    int purgesUnconfirmed_ = 0;
    std::optional<Clock::time_point> discardUntil_;
    LineErrorCounts errors_;
    std::string signature_;
};

// The name of a request, for messages: "SET-BAUDRATE".
const char* RequestName(std::uint8_t code);

} // namespace commport::net
