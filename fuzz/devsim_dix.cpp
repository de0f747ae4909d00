// The simulated dispenser controller fed any byte stream.

#include "simfeed.h"

#include "dixdevice.h"

using devsim::DixDevice;

namespace {

void checkReply(const QByteArray& reply)
{
    static const qsizetype versionSize = DixDevice::versionText().size() + 1;
    if (reply.size() == 1) {
        const auto code = std::uint8_t(reply[0]);
        fuzz::check(code == DixDevice::kDone || code == DixDevice::kRejected || code == DixDevice::kVersionReady,
                    "an unknown one-byte reply", fuzz::hexDump(reply));
        return;
    }
    fuzz::check(reply.size() == 8 || reply.size() == 16 || reply.size() == versionSize,
                "a reply of no known length", fuzz::hexDump(reply));
    fuzz::check(fuzz::framed(reply), "a reply whose checksum fails", fuzz::hexDump(reply));
}

void checkHoses(const DixDevice& device)
{
    for (int number = 1; number <= DixDevice::kHoseCount; ++number) {
        const DixDevice::Hose& h = device.hose(number);
        const QString which = QStringLiteral("hose %1").arg(number);
        fuzz::check(h.priceKopecks <= 9999, "a price beyond four digits", which);
        fuzz::check(h.volumeA < 10'000'000'000ULL && h.volumeB < 100'000'000ULL && h.money < 100'000'000ULL,
                    "a totaliser beyond its digits", which);
        fuzz::check(h.delivered <= h.ordered, "more delivered than ordered", which);
        fuzz::check(std::uint8_t(h.state) <= std::uint8_t(DixDevice::State::Stopped), "an unknown state", which);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool oneAddress = in.ConsumeBool();
    const auto address = in.ConsumeIntegral<std::uint8_t>();
    const double flow = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 1000) : 0;
    const auto make = [&] {
        return DixDevice(oneAddress ? devsim::AddressMatch(address) : devsim::AddressMatch(), flow);
    };
    const fuzz::Feed feed = fuzz::makeFeed(in);

    DixDevice device = make();
    const QList<QByteArray> replies = fuzz::feedChunks(device, feed, checkReply);
    checkHoses(device);
    DixDevice fresh = make();
    fuzz::checkChunkingDoesNotMatter(fresh, feed, replies);
    return 0;
}
