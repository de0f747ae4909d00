// The simulated memory controller fed any byte stream.

#include "simfeed.h"

#include "qldevice.h"

using devsim::QlDevice;

namespace {

bool areaCode(std::uint8_t code)
{
    return code == 0xC4 || code == 0xC5 || (code >= 0xC8 && code <= 0xCD);
}

void checkReply(const QByteArray& reply)
{
    if (reply.size() == 1) {
        fuzz::check(std::uint8_t(reply[0]) == QlDevice::kAccess, "a one-byte reply that is not C0",
                    fuzz::hexDump(reply));
        return;
    }
    const auto status = std::uint8_t(reply.back());
    fuzz::check(reply.size() == 3 && areaCode(std::uint8_t(reply[0]))
                    && (status == QlDevice::kOk || status == QlDevice::kError),
                "an area reply out of shape", fuzz::hexDump(reply));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool oneAddress = in.ConsumeBool();
    const auto address = in.ConsumeIntegral<std::uint8_t>();
    const auto make = [&] { return QlDevice(oneAddress ? devsim::AddressMatch(address) : devsim::AddressMatch()); };
    const fuzz::Feed feed = fuzz::makeFeed(in);

    QlDevice device = make();
    const QList<QByteArray> replies = fuzz::feedChunks(device, feed, checkReply);
    QlDevice fresh = make();
    fuzz::checkChunkingDoesNotMatter(fresh, feed, replies);
    return 0;
}
