// The Telnet framing and the COM port option's side of what a server sends: whatever
// the bytes and however they are cut into reads, the data and commands found are the
// same, data framed by this side comes back unchanged, and the protocol's buffers grow
// no faster than what it is fed, its input never past its bound.

#include "fuzzcheck.h"
#include "lineprotocol.h"
#include "telnetcodec.h"

#include <QStringList>

using namespace commport::net;

namespace {

struct Recorder : telnet::CommandSink {
    QStringList commands;
    void OnNegotiation(std::uint8_t verb, std::uint8_t option) override
    {
        commands << QStringLiteral("%1 %2").arg(verb).arg(option);
    }
    void OnSubnegotiation(std::uint8_t option, std::string_view payload) override
    {
        fuzz::check(payload.size() <= telnet::kMaxSubnegotiation, "a subnegotiation over the bound");
        commands << QStringLiteral("SB %1 ").arg(option)
                + QString::fromLatin1(QByteArray(payload.data(), qsizetype(payload.size())).toHex());
    }
};

QPair<std::string, QStringList> decode(const std::uint8_t* data, std::size_t size, std::size_t chunk, bool textMode)
{
    telnet::Decoder decoder;
    decoder.SetTextMode(textMode);
    Recorder recorder;
    std::string out;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t end = std::min(size, at + chunk);
        while (at < end)
            at += decoder.Feed(data + at, end - at, out, recorder);
    }
    return {out, recorder.commands};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t chunk = 1 + data[0] % 7;
    const bool textMode = data[0] & 0x80;
    ++data;
    --size;

    const auto whole = decode(data, size, size + 1, textMode);
    const auto cut = decode(data, size, chunk, textMode);
    fuzz::check(whole == cut, "cut into reads, the bytes decode otherwise",
                fuzz::hexDump(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))));
    fuzz::check(whole.first.size() <= size, "more data than bytes");

    // This side's framing of any data comes back as it was.
    std::string wire;
    telnet::EncodeData(data, size, wire, textMode);
    const auto back = decode(reinterpret_cast<const std::uint8_t*>(wire.data()), wire.size(), chunk, textMode);
    fuzz::check(back.first == std::string(reinterpret_cast<const char*>(data), size) && back.second.isEmpty(),
                "framed data does not come back");

    // The protocol as a server's bytes reach it, line settings asked on the way.
    LineProtocol protocol(LineScheme::Rfc2217);
    protocol.Start();
    protocol.Outgoing().clear();
    commport::TLineSettings settings;
    settings.FlowControl = commport::TFlowControl::fcCTS;
    const auto now = LineProtocol::Clock::now();
    std::size_t fed = 0;
    for (std::size_t at = 0; at < size; at += chunk) {
        const std::size_t n = std::min(chunk, size - at);
        protocol.Receive(data + at, n, now);
        fed += n;
        if (at % 64 == 0 && protocol.ComPort() == LineProtocol::Agreement::Agreed && !protocol.SettingsPending())
            protocol.RequestSettings(settings);
        if (at % 97 == 0)
            protocol.PurgeInput(now, std::chrono::seconds(1));
        fuzz::check(protocol.Input().size() <= fed, "more input than bytes fed");
        fuzz::check(protocol.Input().size() <= kInputLimit && protocol.InputRoom() <= kInputLimit - protocol.Input().size(),
                    "more input kept than a serial port's buffer holds");
        // Replies: three bytes for each negotiation at most, the requests a few dozen.
        fuzz::check(protocol.Outgoing().size() <= 3 * fed + 256 * (at / 64 + 1), "replies grow faster than input");
        protocol.Outgoing().clear();
    }
    if (protocol.SettingsPending())
        fuzz::check(bool(protocol.AbandonSettings()), "unanswered settings abandoned without a failure");
    return 0;
}
