#include "protocoldecoders.h"

#include "dispenserdecoder.h"
#include "memorydecoder.h"
#include "meterdecoder.h"

namespace monitor {

namespace {

// Frames shown as bytes only.
class RawDecoder : public FrameDecoder {
protected:
    QString describeRequest(std::span<const std::uint8_t>) override { return QString(); }
    QString describeReply(std::span<const std::uint8_t>) override { return QString(); }
};

} // namespace

std::unique_ptr<FrameDecoder> makeFrameDecoder(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Dispenser: return dispenser::makeDispenserDecoder();
    case Protocol::Memory: return memory::makeMemoryDecoder();
    case Protocol::Meter: return meter::makeMeterDecoder();
    case Protocol::None: break;
    }
    return std::make_unique<RawDecoder>();
}

} // namespace monitor
