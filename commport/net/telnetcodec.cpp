#include "telnetcodec.h"

namespace commport::net::telnet {

std::size_t Decoder::Feed(const std::uint8_t* bytes, std::size_t count, std::string& data, CommandSink& sink)
{
    for (std::size_t i = 0; i < count; ++i)
        if (step(bytes[i], data, sink))
            return i + 1;
    return count;
}

bool Decoder::step(std::uint8_t b, std::string& data, CommandSink& sink)
{
    switch (state_) {
    case State::Data:
        if (b == kIac) {
            state_ = State::Iac;
        } else if (textMode_ && afterCr_ && b == 0) {
            afterCr_ = false;
        } else {
            afterCr_ = b == '\r';
            data.push_back(static_cast<char>(b));
        }
        return false;
    case State::Iac:
        afterCr_ = false;
        state_ = State::Data;
        if (b == kIac) {
            data.push_back(static_cast<char>(kIac));
        } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
            verb_ = b;
            state_ = State::Verb;
        } else if (b == kSb) {
            state_ = State::SubOption;
        }
        return false;
    case State::Verb:
        state_ = State::Data;
        sink.OnNegotiation(verb_, b);
        return true;
    case State::SubOption:
        subOption_ = b;
        sub_.clear();
        // 255 is no option: what follows is read as the end of a broken subnegotiation.
        subOverflow_ = b == kIac;
        state_ = b == kIac ? State::SubIac : State::Sub;
        return false;
    case State::Sub:
        if (b == kIac)
            state_ = State::SubIac;
        else
            keep(b);
        return false;
    case State::SubIac: {
        if (b == kIac) {
            keep(b);
            state_ = State::Sub;
            return false;
        }
        // IAC SE ends it; IAC with anything else ends it too (the sender forgot the SE),
        // and that byte is then read as the command it starts.
        const bool delivered = !subOverflow_;
        if (delivered)
            sink.OnSubnegotiation(subOption_, sub_);
        sub_.clear();
        state_ = State::Data;
        if (b != kSe) {
            state_ = State::Iac;
            // A byte after IAC completes no command by itself.
            step(b, data, sink);
        }
        return delivered;
    }
    }
    return false;
}

void Decoder::keep(std::uint8_t b)
{
    if (sub_.size() < kMaxSubnegotiation)
        sub_.push_back(static_cast<char>(b));
    else
        subOverflow_ = true;
}

void EncodeData(const std::uint8_t* bytes, std::size_t count, std::string& out, bool textMode)
{
    out.reserve(out.size() + count + count / 16);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        out.push_back(static_cast<char>(b));
        if (b == kIac)
            out.push_back(static_cast<char>(kIac));
        else if (textMode && b == '\r')
            out.push_back('\0');
    }
}

void AppendNegotiation(std::string& out, std::uint8_t verb, std::uint8_t option)
{
    out.push_back(static_cast<char>(kIac));
    out.push_back(static_cast<char>(verb));
    out.push_back(static_cast<char>(option));
}

void AppendSubnegotiation(std::string& out, std::uint8_t option, std::string_view payload)
{
    out.push_back(static_cast<char>(kIac));
    out.push_back(static_cast<char>(kSb));
    out.push_back(static_cast<char>(option));
    for (char c : payload) {
        out.push_back(c);
        if (static_cast<std::uint8_t>(c) == kIac)
            out.push_back(c);
    }
    out.push_back(static_cast<char>(kIac));
    out.push_back(static_cast<char>(kSe));
}

} // namespace commport::net::telnet
