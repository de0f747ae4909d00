#include "readinghistory.h"

#include <algorithm>

namespace meter {

ReadingHistory::ReadingHistory(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("ReadingHistory"));
}

void ReadingHistory::add(Quantity quantity, const QDateTime& when, ReadingValue value)
{
    const qint64 msecs = when.isValid() ? when.toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
    series_[quantityIndex(quantity)].append(msecs, value);
    ++size_;
    emit grew();
}

void ReadingHistory::add(Quantity quantity, const QDateTime& when, QStringView text)
{
    add(quantity, when, ReadingValue::fromText(text));
}

void ReadingHistory::breakSeries()
{
    for (ReadingSeries& s : series_)
        s.breakHere();
}

void ReadingHistory::addShown(const QString& quantity, const QString& text, const QDateTime& when)
{
    if (const std::optional<Quantity> known = quantityFromName(quantity))
        add(*known, when, text);
}

qint64 ReadingHistory::earliest() const
{
    qint64 result = std::numeric_limits<qint64>::max();
    for (const ReadingSeries& s : series_)
        if (!s.isEmpty())
            result = std::min(result, s.earliest());
    return result;
}

qint64 ReadingHistory::latest() const
{
    qint64 result = std::numeric_limits<qint64>::min();
    for (const ReadingSeries& s : series_)
        if (!s.isEmpty())
            result = std::max(result, s.latest());
    return result;
}

QMetaObject::Connection ReadingHistory::whenGrown(QObject* receiver, std::function<void()> grew) const
{
    return connect(this, &ReadingHistory::grew, receiver, std::move(grew));
}

std::size_t ReadingHistory::memoryBytes() const
{
    std::size_t bytes = 0;
    for (const ReadingSeries& s : series_)
        bytes += s.memoryBytes();
    return bytes;
}

} // namespace meter
