#include "readingcsv.h"

#include "readingsource.h"

#include <QDateTime>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include <cstdio>

namespace meter {

namespace {

constexpr qint64 kMsecsPerDay = 86'400'000;
// The offset from UTC changes at a quarter hour of UTC everywhere.
constexpr qint64 kOffsetSlot = 15 * 60'000;
constexpr std::size_t kFlushSize = 1 << 16;

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

char* putDigits(char* out, qint64 value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char('0' + value % 10);
    return out + width;
}

// Writes the time text into 'buffer' (at least kTimeTextSize bytes); returns its length.
constexpr int kTimeTextSize = 48;
int formatIsoTime(char* buffer, qint64 msecs, int offsetSeconds)
{
    const qint64 local = msecs + qint64(offsetSeconds) * 1000;
    const qint64 days = floorDiv(local, kMsecsPerDay);
    const qint64 inDay = local - days * kMsecsPerDay;
    const CivilDate date = civilDate(days);
    const int offsetMinutes = std::abs(offsetSeconds) / 60;
    if (date.year < 0 || date.year > 9999)
        return std::snprintf(buffer, kTimeTextSize, "%lld-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                             static_cast<long long>(date.year), date.month, date.day, int(inDay / 3'600'000),
                             int(inDay / 60'000 % 60), int(inDay / 1000 % 60), int(inDay % 1000),
                             offsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    // Written by hand: this runs once per line of a file of millions of lines.
    char* p = putDigits(buffer, date.year, 4);
    *p++ = '-';
    p = putDigits(p, date.month, 2);
    *p++ = '-';
    p = putDigits(p, date.day, 2);
    *p++ = 'T';
    p = putDigits(p, inDay / 3'600'000, 2);
    *p++ = ':';
    p = putDigits(p, inDay / 60'000 % 60, 2);
    *p++ = ':';
    p = putDigits(p, inDay / 1000 % 60, 2);
    *p++ = '.';
    p = putDigits(p, inDay % 1000, 3);
    *p++ = offsetSeconds < 0 ? '-' : '+';
    p = putDigits(p, offsetMinutes / 60, 2);
    *p++ = ':';
    p = putDigits(p, offsetMinutes % 60, 2);
    return int(p - buffer);
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
    char buffer[kTimeTextSize];
    const int length = formatIsoTime(buffer, msecsSinceEpoch, offsetSeconds);
    return QString::fromLatin1(buffer, length);
}

bool writeReadingsCsv(const ReadingSource& history, QIODevice& out)
{
    // The name before the value and the unit after it, for each quantity.
    std::array<QByteArray, kQuantityCount> names;
    std::array<QByteArray, kQuantityCount> units;
    std::vector<ReadingSeries::Cursor> cursors;
    for (const Quantity quantity : kAllQuantities) {
        names[quantityIndex(quantity)] = quantityName(quantity).toUtf8();
        units[quantityIndex(quantity)] = unitName(quantity).toUtf8();
        cursors.push_back(history.series(quantity).cursor());
    }

    // Lines are put together in a plain buffer: appending to a QByteArray piece by
    // piece costs more than formatting the line.
    std::vector<char> buffer(kFlushSize);
    constexpr std::size_t kLongestLine = kTimeTextSize + 16 + ReadingValue::kMaxTextLength + 8;
    std::size_t used = std::size(kCsvHeader) - 1;
    std::copy_n(kCsvHeader, used, buffer.data());
    const auto flush = [&] {
        const bool written = out.write(buffer.data(), qint64(used)) == qint64(used);
        used = 0;
        return written;
    };
    LocalOffset offset;
    for (;;) {
        // The earliest reading next; on equal stamps the panel's order, which is the
        // order the poll reads them in.
        int earliest = -1;
        StoredReading next;
        for (int i = 0; i < kQuantityCount; ++i) {
            const ReadingSeries::Cursor& c = cursors[std::size_t(i)];
            if (c.atEnd())
                continue;
            const StoredReading r = c.reading();
            if (earliest < 0 || r.msecs < next.msecs)
                earliest = i, next = r;
        }
        if (earliest < 0)
            break;
        cursors[std::size_t(earliest)].next();

        if (used + kLongestLine > buffer.size() && !flush())
            return false;
        char* line = buffer.data() + used;
        char* p = line + formatIsoTime(line, next.msecs, offset.at(next.msecs));
        *p++ = ',';
        const QByteArray& name = names[std::size_t(earliest)];
        p = std::copy(name.begin(), name.end(), p);
        *p++ = ',';
        p += next.value.writeText(p);
        *p++ = ',';
        const QByteArray& unit = units[std::size_t(earliest)];
        p = std::copy(unit.begin(), unit.end(), p);
        *p++ = '\n';
        used += std::size_t(p - line);
    }
    return flush();
}

} // namespace meter
