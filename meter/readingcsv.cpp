#include "readingcsv.h"

#include "readinghistory.h"

#include <QDateTime>
#include <QIODevice>

#include <array>
#include <cstdlib>
#include <vector>

#include <cstdio>

namespace meter {

namespace {

constexpr qint64 kMsecsPerDay = 86'400'000;
// The offset from UTC changes at a quarter hour of UTC everywhere.
constexpr qint64 kOffsetSlot = 15 * 60'000;
constexpr qsizetype kFlushSize = 1 << 16;

struct CivilDate {
    qint64 year;
    int month;
    int day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01.
CivilDate civilDate(qint64 days)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return CivilDate{yearOfEra + era * 400 + (month <= 2), month, day};
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Writes the time text into 'buffer' (at least 40 bytes); returns its length.
int formatIsoTime(char* buffer, qint64 msecs, int offsetSeconds)
{
    const qint64 local = msecs + qint64(offsetSeconds) * 1000;
    const qint64 days = floorDiv(local, kMsecsPerDay);
    const qint64 inDay = local - days * kMsecsPerDay;
    const CivilDate date = civilDate(days);
    const int offsetMinutes = std::abs(offsetSeconds) / 60;
    return std::snprintf(buffer, 40, "%04lld-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                         static_cast<long long>(date.year), date.month, date.day,
                         int(inDay / 3'600'000), int(inDay / 60'000 % 60), int(inDay / 1000 % 60),
                         int(inDay % 1000), offsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
}

// The local offset from UTC, asked of the time zone once per quarter hour of readings.
class LocalOffset {
public:
    int at(qint64 msecs)
    {
        const qint64 slot = floorDiv(msecs, kOffsetSlot);
        if (!known_ || slot != slot_) {
            offset_ = QDateTime::fromMSecsSinceEpoch(msecs).offsetFromUtc();
            slot_ = slot;
            known_ = true;
        }
        return offset_;
    }

private:
    qint64 slot_ = 0;
    int offset_ = 0;
    bool known_ = false;
};

} // namespace

QString isoTimeText(qint64 msecsSinceEpoch, int offsetSeconds)
{
    char buffer[40];
    const int length = formatIsoTime(buffer, msecsSinceEpoch, offsetSeconds);
    return QString::fromLatin1(buffer, length);
}

bool writeReadingsCsv(const ReadingHistory& history, QIODevice& out)
{
    std::array<QByteArray, kQuantityCount> names;
    std::vector<ReadingSeries::Cursor> cursors;
    for (const Quantity quantity : kAllQuantities) {
        names[std::size_t(quantityIndex(quantity))] = quantityName(quantity).toUtf8();
        cursors.push_back(history.series(quantity).cursor());
    }

    QByteArray buffer(kCsvHeader);
    buffer.reserve(kFlushSize + 128);
    LocalOffset offset;
    char time[40];
    for (;;) {
        // The earliest reading next; on equal stamps the panel's order, which is the
        // order the poll reads them in.
        int earliest = -1;
        qint64 earliestMsecs = 0;
        for (int i = 0; i < kQuantityCount; ++i) {
            const ReadingSeries::Cursor& c = cursors[std::size_t(i)];
            if (c.atEnd())
                continue;
            const qint64 msecs = c.reading().msecs;
            if (earliest < 0 || msecs < earliestMsecs)
                earliest = i, earliestMsecs = msecs;
        }
        if (earliest < 0)
            break;
        ReadingSeries::Cursor& cursor = cursors[std::size_t(earliest)];
        const Reading reading = cursor.reading();
        cursor.next();

        buffer.append(time, formatIsoTime(time, reading.msecs, offset.at(reading.msecs)));
        buffer.append(',').append(names[std::size_t(earliest)]).append(',');
        if (reading.value.isNumber())
            buffer.append(reading.value.toText().toLatin1());
        buffer.append('\n');
        if (buffer.size() >= kFlushSize) {
            if (out.write(buffer) != buffer.size())
                return false;
            buffer.resize(0);
        }
    }
    return out.write(buffer) == buffer.size();
}

} // namespace meter
