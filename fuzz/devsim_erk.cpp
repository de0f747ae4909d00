// The simulated three-phase meter fed any byte stream.

#include "simfeed.h"

#include "erkdevice.h"

using devsim::ErkDevice;

namespace {

void checkReply(const QByteArray& reply)
{
    if (reply.size() == 1) {
        const auto code = std::uint8_t(reply[0]);
        fuzz::check(code == ErkDevice::kWritten || code == ErkDevice::kProgrammingError,
                    "an unknown one-byte reply", fuzz::hexDump(reply));
        return;
    }
    fuzz::check(reply.size() == 3 || reply.size() == 8, "a reply of no known length", fuzz::hexDump(reply));
    fuzz::check(fuzz::framed(reply), "a reply whose checksum fails", fuzz::hexDump(reply));
    if (reply.size() == 8) {
        // A reading: the code, then six characters as the meter's display shows them.
        for (char c : reply.mid(1, 6))
            fuzz::check(c == ' ' || c == '.' || (c >= '0' && c <= '9'), "a reading that is not display text",
                        fuzz::hexDump(reply));
    }
}

void checkSettings(const ErkDevice& meter)
{
    fuzz::check(meter.address() >= 0x01 && meter.address() <= 0x7F, "the meter took an address outside 01..7F");
    for (int number = 1; number <= 3; ++number) {
        const ErkDevice::Phase& p = meter.phase(number);
        fuzz::check(p.voltageLow <= p.voltageHigh, "voltage limits crossed", QString::number(number));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto address = std::uint8_t(in.ConsumeIntegralInRange(0x01, 0x7F));
    const fuzz::Feed feed = fuzz::makeFeed(in);

    ErkDevice meter(address);
    const QList<QByteArray> replies = fuzz::feedChunks(meter, feed, checkReply);
    checkSettings(meter);
    ErkDevice fresh(address);
    fuzz::checkChunkingDoesNotMatter(fresh, feed, replies);
    return 0;
}
