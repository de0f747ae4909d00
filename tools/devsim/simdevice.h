#pragma once
// A simulated device: bytes in, replies out. Requests may arrive in any chunking,
// a frame split over several reads or several frames in one; the device keeps the
// bytes it has not placed yet until the rest of the frame comes.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include "framing.h"

#include <cstdint>
#include <optional>

namespace devsim {

class SimDevice {
public:
    virtual ~SimDevice() = default;

    // A partly received frame is given up after this much silence on the line, so a
    // lost byte cannot swallow the next request.
    static constexpr qint64 kFrameGapMs = 250;

    // Feeds bytes that arrived at nowMs (a monotonic clock) and returns the replies
    // they complete, in order, each as one piece of bytes.
    QList<QByteArray> receive(QByteArrayView bytes, qint64 nowMs);

    // Forgets a partly received frame, as when the other side hangs up.
    void discardPending();

    // What was handled or dropped since the last call, for the verbose log.
    QStringList takeNotes();

protected:
    struct Step {
        qsizetype consumed = 0; // 0: the frame at the front is not complete yet
        QByteArray reply;       // empty: no reply
    };

    // Looks at the unplaced bytes, front first: either consumes a request (or the
    // bytes it cannot place) and gives its reply, or asks for more bytes.
    virtual Step parse(QByteArrayView pending, qint64 nowMs) = 0;

    // Bytes before the first one for which startsFrame is true: the run a device
    // drops to resynchronise on the next frame start.
    template <typename StartsFrame>
    static qsizetype strayRun(QByteArrayView pending, StartsFrame startsFrame)
    {
        qsizetype n = 0;
        while (n < pending.size() && !startsFrame(static_cast<unsigned char>(pending[n])))
            ++n;
        return n;
    }

    // The header frame every addressed request starts with: 60, the controller address,
    // a code and the checksum of the three.
    static constexpr qsizetype kHeaderSize = 4;
    struct Header {
        std::uint8_t address = 0;
        std::uint8_t code = 0;
        QByteArrayView bytes;
    };
    // Reads the header at the front of `pending`, which starts with 60. Returns the step
    // to take instead when there is none: more bytes awaited, or a bad checksum dropped.
    std::optional<Step> takeHeader(QByteArrayView pending, Header& header);
    // The same, after dropping the bytes before the next frame start when the front is
    // not 60: startsFrame says which bytes may start one.
    template <typename StartsFrame>
    std::optional<Step> takeRequestStart(QByteArrayView pending, StartsFrame startsFrame, Header& header)
    {
        if (static_cast<std::uint8_t>(pending[0]) != kFrameStart)
            return drop(pending.first(strayRun(pending, startsFrame)), QStringLiteral("not a request start"));
        return takeHeader(pending, header);
    }
    // The data frame of `size` bytes, its own checksum last, right after the header:
    // `request` becomes header and data frame, `data` the data frame. Returns the step to
    // take instead when there is none, as takeHeader does.
    std::optional<Step> takeDataFrame(QByteArrayView pending, qsizetype size, QByteArrayView& request,
                                      QByteArrayView& data);

    Step drop(QByteArrayView bytes, const QString& why);
    Step answer(QByteArrayView request, QByteArray reply);
    Step ignore(QByteArrayView request, const QString& why);
    void note(const QString& line);

private:
    QByteArray m_pending;
    qint64 m_lastByteMs = 0;
    QStringList m_notes;
};

} // namespace devsim
