#include "lineprotocol.h"

#include <algorithm>

namespace commport::net {

namespace {

using namespace telnet;
using backend::SystemError;

// This console's name, for a server that asks (SIGNATURE without text).
constexpr std::string_view kSignatureText = "QLDIXw";

std::string byteValue(std::uint8_t value) { return std::string(1, static_cast<char>(value)); }

std::string speedValue(unsigned speed)
{
    std::string value(4, '\0');
    for (int i = 3; i >= 0; --i) {
        value[static_cast<std::size_t>(i)] = static_cast<char>(speed & 0xFF);
        speed >>= 8;
    }
    return value;
}

unsigned speedOf(std::string_view value)
{
    unsigned speed = 0;
    for (char c : value.substr(0, 4))
        speed = (speed << 8) | static_cast<std::uint8_t>(c);
    return speed;
}

std::uint8_t parityValue(TParity parity)
{
    switch (parity) {
    case TParity::paNone: return 1;
    case TParity::paOdd: return 2;
    case TParity::paEven: return 3;
    case TParity::paMark: return 4;
    case TParity::paSpace: return 5;
    }
    return 1;
}

std::uint8_t stopSizeValue(TStopbits stopBits)
{
    switch (stopBits) {
    case TStopbits::sb10: return 1;
    case TStopbits::sb20: return 2;
    case TStopbits::sb15: return 3;
    }
    return 1;
}

std::uint8_t flowValue(TFlowControl flow)
{
    switch (flow) {
    case TFlowControl::fcCTS: return comport::kControlHardware;
    case TFlowControl::fcDTR: return comport::kControlDsrFlow;
    case TFlowControl::fcSoftware: return comport::kControlXonXoff;
    case TFlowControl::fcNone:
    case TFlowControl::fcDefault: break;
    }
    return comport::kControlNoFlow;
}

// SET-CONTROL values come in groups that each set one thing (outbound flow control,
// break, DTR, RTS, inbound flow control): an answer belongs to a request of its group.
int controlGroup(std::uint8_t value)
{
    if (value <= 3 || value == 17 || value == 19)
        return 0;
    if (value <= 6)
        return 1;
    if (value <= 9)
        return 2;
    if (value <= 12)
        return 3;
    return 4;
}

bool sameGroup(std::uint8_t code, std::string_view asked, std::string_view answer)
{
    if (code != comport::kSetControl || asked.empty() || answer.empty())
        return true;
    return controlGroup(static_cast<std::uint8_t>(asked[0])) == controlGroup(static_cast<std::uint8_t>(answer[0]));
}

SystemError unsupported(std::string text) { return SystemError{CommErrorKind::Unsupported, -1, std::move(text)}; }

} // namespace

const char* RequestName(std::uint8_t code)
{
    switch (code) {
    case comport::kSetBaudRate: return "SET-BAUDRATE";
    case comport::kSetDataSize: return "SET-DATASIZE";
    case comport::kSetParity: return "SET-PARITY";
    case comport::kSetStopSize: return "SET-STOPSIZE";
    case comport::kSetControl: return "SET-CONTROL";
    case comport::kPurgeData: return "PURGE-DATA";
    default: return "COM-PORT-OPTION";
    }
}

LineProtocol::LineProtocol(LineScheme scheme)
    : scheme_(scheme)
{
    decoder_.SetTextMode(true);
    // A bare pipe carries no line state; its counters are this side's own overruns.
    errors_.known = true;
}

void LineProtocol::Start()
{
    if (scheme_ != LineScheme::Rfc2217)
        return;
    us_[kOptionBinary] = Side::WantYes;
    AppendNegotiation(outgoing_, kWill, kOptionBinary);
    them_[kOptionBinary] = Side::WantYes;
    AppendNegotiation(outgoing_, kDo, kOptionBinary);
    us_[kOptionComPort] = Side::WantYes;
    AppendNegotiation(outgoing_, kWill, kOptionComPort);
}

LineProtocol::Agreement LineProtocol::ComPort() const
{
    if (scheme_ != LineScheme::Rfc2217)
        return Agreement::Agreed;
    switch (us_[kOptionComPort]) {
    case Side::Yes: return Agreement::Agreed;
    case Side::No: return Agreement::Refused;
    case Side::WantYes:
    case Side::WantNo: break;
    }
    return Agreement::Pending;
}

bool LineProtocol::TextModeOut() const
{
    return scheme_ == LineScheme::Rfc2217 && us_[kOptionBinary] != Side::Yes;
}

void LineProtocol::EncodeData(const std::uint8_t* bytes, std::size_t count, std::string& out) const
{
    if (scheme_ != LineScheme::Rfc2217) {
        out.append(reinterpret_cast<const char*>(bytes), count);
        return;
    }
    telnet::EncodeData(bytes, count, out, TextModeOut());
}

void LineProtocol::Receive(const std::uint8_t* bytes, std::size_t count, Clock::time_point now)
{
    // A server that never confirms a purge gets no more than the wait: what came since
    // is kept, as nothing tells it apart from what came after the purge.
    if (purgesUnconfirmed_ > 0 && discardUntil_ && now >= *discardUntil_) {
        purgesUnconfirmed_ = 0;
        discardUntil_.reset();
        input_ += held_;
        held_.clear();
    }
    std::string& data = purgesUnconfirmed_ > 0 ? held_ : input_;
    if (scheme_ != LineScheme::Rfc2217) {
        data.append(reinterpret_cast<const char*>(bytes), count);
    } else {
        while (count > 0) {
            // A command may end a purge, after which data goes to the input again.
            std::string& to = purgesUnconfirmed_ > 0 ? held_ : input_;
            const std::size_t taken = decoder_.Feed(bytes, count, to, *this);
            bytes += taken;
            count -= taken;
        }
    }
    // The newest bytes are the ones a full buffer has no room for.
    const std::size_t kept = input_.size() + held_.size();
    if (kept > kInputLimit) {
        const std::size_t excess = kept - kInputLimit;
        const std::size_t fromHeld = std::min(excess, held_.size());
        held_.resize(held_.size() - fromHeld);
        input_.resize(input_.size() - (excess - fromHeld));
        ++errors_.bufferOverrun;
    }
}

std::size_t LineProtocol::InputRoom() const
{
    const std::size_t kept = input_.size() + held_.size();
    return kept < kInputLimit ? kInputLimit - kept : 0;
}

void LineProtocol::OnNegotiation(std::uint8_t verb, std::uint8_t option)
{
    const bool agreedBefore = ComPort() == Agreement::Agreed;
    if (verb == kWill || verb == kWont) {
        Side& side = them_[option];
        if (verb == kWill) {
            if (side == Side::No) {
                side = theyMay(option) ? Side::Yes : Side::No;
                AppendNegotiation(outgoing_, side == Side::Yes ? kDo : kDont, option);
            } else if (side != Side::Yes) {
                side = side == Side::WantYes ? Side::Yes : Side::No;
            }
        } else if (side == Side::Yes) {
            side = Side::No;
            AppendNegotiation(outgoing_, kDont, option);
        } else {
            side = Side::No;
        }
        if (option == kOptionBinary)
            decoder_.SetTextMode(them_[kOptionBinary] != Side::Yes);
    } else {
        Side& side = us_[option];
        if (verb == kDo) {
            if (side == Side::No) {
                side = weAccept(option) ? Side::Yes : Side::No;
                AppendNegotiation(outgoing_, side == Side::Yes ? kWill : kWont, option);
            } else if (side != Side::Yes) {
                side = side == Side::WantYes ? Side::Yes : Side::No;
            }
        } else if (side == Side::Yes) {
            side = Side::No;
            AppendNegotiation(outgoing_, kWont, option);
        } else {
            side = Side::No;
        }
    }
    if (!agreedBefore && ComPort() == Agreement::Agreed)
        AppendSubnegotiation(outgoing_, kOptionComPort,
                             byteValue(comport::kSetLineStateMask) + byteValue(kLineStateErrors));
}

bool LineProtocol::weAccept(std::uint8_t option) const
{
    return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}

bool LineProtocol::theyMay(std::uint8_t option) const
{
    return option == kOptionBinary || option == kOptionSuppressGoAhead;
}

void LineProtocol::OnSubnegotiation(std::uint8_t option, std::string_view payload)
{
    if (option != kOptionComPort || payload.empty())
        return;
    const auto code = static_cast<std::uint8_t>(payload[0]);
    const std::string_view value = payload.substr(1);
    if (code < comport::kServerOffset) {
        // The client's codes from the server: only SIGNATURE makes sense that way round.
        return;
    }
    switch (code - comport::kServerOffset) {
    case comport::kSignature:
        if (value.empty())
            AppendSubnegotiation(outgoing_, kOptionComPort, byteValue(comport::kSignature) + std::string(kSignatureText));
        else
            signature_.assign(value.substr(0, 128));
        return;
    case comport::kNotifyLineState:
        if (!value.empty()) {
            const auto state = static_cast<std::uint8_t>(value[0]);
            errors_.overrun += (state >> 1) & 1;
            errors_.parity += (state >> 2) & 1;
            errors_.frame += (state >> 3) & 1;
            errors_.brk += (state >> 4) & 1;
        }
        return;
    case comport::kPurgeData:
        if (purgesUnconfirmed_ > 0 && --purgesUnconfirmed_ == 0) {
            // Everything held came before the server dropped its buffer.
            held_.clear();
            discardUntil_.reset();
        }
        return;
    case comport::kSetBaudRate:
    case comport::kSetDataSize:
    case comport::kSetParity:
    case comport::kSetStopSize:
    case comport::kSetControl:
        onComPortAnswer(static_cast<std::uint8_t>(code - comport::kServerOffset), value);
        return;
    default:
        // Modem-state notices, flow-control suspension and the masks' answers: a
        // serial line seen through this console has no use for them.
        return;
    }
}

void LineProtocol::onComPortAnswer(std::uint8_t code, std::string_view value)
{
    auto match = std::find_if(requests_.begin(), requests_.end(), [&](const Request& r) {
        return !r.answered && r.code == code && sameGroup(code, r.value, value);
    });
    if (match == requests_.end())
        match = std::find_if(requests_.begin(), requests_.end(),
                             [&](const Request& r) { return !r.answered && !r.hopedFor && r.code == code; });
    if (match == requests_.end())
        return;
    match->answered = true;
    bool taken = false;
    std::string refusal;
    if (code == comport::kSetBaudRate) {
        const unsigned asked = speedOf(match->value);
        const unsigned got = value.size() >= 4 ? speedOf(value) : 0;
        const unsigned diff = got > asked ? got - asked : asked - got;
        taken = value.size() >= 4 && std::uint64_t(diff) * 100 <= std::uint64_t(asked) * kSpeedTolerancePercent;
        refusal = "the server set " + std::to_string(got) + " bit/s for " + std::to_string(asked);
    } else {
        taken = !value.empty() && value[0] == match->value[0];
        refusal = std::string("the server refused ") + RequestName(code) + " "
            + std::to_string(static_cast<std::uint8_t>(match->value[0])) + " (it answered "
            + (value.empty() ? std::string("nothing") : std::to_string(static_cast<std::uint8_t>(value[0]))) + ")";
    }
    if (!taken && !match->hopedFor && !settingsError_)
        settingsError_ = SystemError{CommErrorKind::SettingRefused, -1, refusal};
    if (!SettingsPending())
        requests_.clear();
}

void LineProtocol::sendRequest(std::uint8_t code, std::string value, bool hopedFor)
{
    AppendSubnegotiation(outgoing_, kOptionComPort, byteValue(code) + value);
    requests_.push_back(Request{code, std::move(value), hopedFor});
}

SystemError LineProtocol::RequestSettings(const TLineSettings& settings)
{
    requests_.clear();
    settingsError_ = {};
    if (scheme_ != LineScheme::Rfc2217)
        return {};
    if (settings.Databits == TDatabits::da4)
        return unsupported("4 data bits: the COM port option knows 5 to 8");
    if (!(settings.Options == TCommOptions{}))
        return unsupported("parity checking, DSR sensitivity, XOFF, error character and null stripping are "
                           "the server's to set: the COM port option carries none of them");
    if (settings.FlowControl == TFlowControl::fcSoftware && (settings.XonChar != 0x11 || settings.XoffChar != 0x13))
        return unsupported("XON/XOFF characters other than 17 and 19: the COM port option cannot set them");
    // A chosen handshake raises DTR, as a local port does; a server without modem lines
    // does not answer, and that is no reason to refuse the line.
    if (settings.FlowControl != TFlowControl::fcDefault)
        sendRequest(comport::kSetControl, byteValue(comport::kControlDtrOn), true);
    sendRequest(comport::kSetControl, byteValue(flowValue(settings.FlowControl)), false);
    sendRequest(comport::kSetBaudRate, speedValue(BaudRateValue(settings.BaudRate)), false);
    sendRequest(comport::kSetDataSize, byteValue(static_cast<std::uint8_t>(DatabitsValue(settings.Databits))), false);
    sendRequest(comport::kSetParity, byteValue(parityValue(settings.Parity)), false);
    sendRequest(comport::kSetStopSize, byteValue(stopSizeValue(settings.Stopbits)), false);
    return {};
}

bool LineProtocol::SettingsPending() const
{
    return std::any_of(requests_.begin(), requests_.end(), [](const Request& r) { return !r.answered && !r.hopedFor; });
}

SystemError LineProtocol::AbandonSettings()
{
    if (!settingsError_) {
        for (const Request& r : requests_) {
            if (!r.answered && !r.hopedFor) {
                settingsError_ = unsupported(std::string("the server did not answer ") + RequestName(r.code));
                break;
            }
        }
    }
    requests_.clear();
    return settingsError_;
}

void LineProtocol::PurgeInput(Clock::time_point now, Clock::duration wait)
{
    input_.clear();
    held_.clear();
    if (scheme_ != LineScheme::Rfc2217)
        return;
    AppendSubnegotiation(outgoing_, kOptionComPort, byteValue(comport::kPurgeData) + byteValue(comport::kPurgeReceived));
    ++purgesUnconfirmed_;
    discardUntil_ = now + wait;
}

} // namespace commport::net
