#pragma once
// Feeds a simulated device the fuzzer's bytes the way a line delivers them: in chunks
// of any size, at times the input chooses. A device must answer a byte stream the same
// however it is cut, as long as no pause drops a partial frame.

#include "fuzzcheck.h"

#include "framing.h"
#include "simdevice.h"

#include <QByteArray>
#include <QList>

#include <fuzzer/FuzzedDataProvider.h>

namespace fuzz {

struct Feed {
    QByteArray stream;
    QList<QByteArray> chunks;
    QList<qint64> times;
    bool paced = false; // chunks arrive with pauses between them
};

inline Feed makeFeed(FuzzedDataProvider& in)
{
    Feed feed;
    feed.paced = in.ConsumeBool();
    qint64 now = 1000;
    while (in.remaining_bytes() > 0) {
        if (feed.paced)
            now += in.ConsumeIntegralInRange<qint64>(0, 2 * devsim::SimDevice::kFrameGapMs);
        const std::string bytes = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 40));
        feed.chunks << QByteArray::fromStdString(bytes);
        feed.times << now;
        feed.stream += feed.chunks.back();
    }
    return feed;
}

// Every reply the device gives to the chunks; checkReply sees each one.
template <typename CheckReply>
QList<QByteArray> feedChunks(devsim::SimDevice& device, const Feed& feed, CheckReply checkReply)
{
    QList<QByteArray> replies;
    for (qsizetype i = 0; i < feed.chunks.size(); ++i) {
        for (const QByteArray& reply : device.receive(feed.chunks[i], feed.times[i])) {
            check(!reply.isEmpty(), "an empty reply was sent");
            checkReply(reply);
            replies << reply;
        }
        device.takeNotes();
    }
    return replies;
}

// Without pauses the cut of the stream must not matter.
inline void checkChunkingDoesNotMatter(devsim::SimDevice& fresh, const Feed& feed, const QList<QByteArray>& replies)
{
    if (feed.paced)
        return;
    const QList<QByteArray> whole = fresh.receive(feed.stream, feed.times.isEmpty() ? 0 : feed.times.front());
    check(whole.join() == replies.join(), "the replies depend on how the requests were cut",
          hexDump(feed.stream));
}

inline bool framed(const QByteArray& reply)
{
    return devsim::checksumOk(reply);
}

} // namespace fuzz
