#include "simdevice.h"

#include "framing.h"
#include "frametext.h"

namespace devsim {

namespace {
QString bytesText(QByteArrayView bytes)
{
    return transport::byteText(bytes.toByteArray());
}
} // namespace

QList<QByteArray> SimDevice::receive(QByteArrayView bytes, qint64 nowMs)
{
    if (!m_pending.isEmpty() && nowMs - m_lastByteMs > kFrameGapMs) {
        drop(m_pending, QStringLiteral("incomplete frame, line went quiet"));
        m_pending.clear();
    }
    m_pending.append(bytes.data(), bytes.size());
    m_lastByteMs = nowMs;

    QList<QByteArray> replies;
    while (!m_pending.isEmpty()) {
        const Step step = parse(m_pending, nowMs);
        if (step.consumed <= 0)
            break;
        m_pending.remove(0, qMin(step.consumed, m_pending.size()));
        if (!step.reply.isEmpty())
            replies.append(step.reply);
    }
    return replies;
}

void SimDevice::discardPending()
{
    if (!m_pending.isEmpty())
        drop(m_pending, QStringLiteral("incomplete frame, line closed"));
    m_pending.clear();
}

QStringList SimDevice::takeNotes()
{
    QStringList notes;
    notes.swap(m_notes);
    return notes;
}

std::optional<SimDevice::Step> SimDevice::takeHeader(QByteArrayView pending, Header& header)
{
    if (pending.size() < kHeaderSize)
        return Step{};
    header.bytes = pending.first(kHeaderSize);
    if (!checksumOk(header.bytes))
        return drop(header.bytes, QStringLiteral("bad checksum"));
    header.address = byteAt(header.bytes, 1);
    header.code = byteAt(header.bytes, 2);
    return std::nullopt;
}

std::optional<SimDevice::Step> SimDevice::takeDataFrame(QByteArrayView pending, qsizetype size,
                                                        QByteArrayView& request, QByteArrayView& data)
{
    if (pending.size() < kHeaderSize + size)
        return Step{};
    request = pending.first(kHeaderSize + size);
    data = request.sliced(kHeaderSize);
    if (!checksumOk(data))
        return drop(request, QStringLiteral("bad checksum in the data frame"));
    return std::nullopt;
}

SimDevice::Step SimDevice::drop(QByteArrayView bytes, const QString& why)
{
    note(QStringLiteral("dropped%1: %2").arg(bytesText(bytes), why));
    return Step{bytes.size(), {}};
}

SimDevice::Step SimDevice::answer(QByteArrayView request, QByteArray reply)
{
    note(QStringLiteral("request%1").arg(bytesText(request)));
    return Step{request.size(), std::move(reply)};
}

SimDevice::Step SimDevice::ignore(QByteArrayView request, const QString& why)
{
    note(QStringLiteral("request%1: %2").arg(bytesText(request), why));
    return Step{request.size(), {}};
}

void SimDevice::note(const QString& line)
{
    m_notes.append(line);
}

} // namespace devsim
