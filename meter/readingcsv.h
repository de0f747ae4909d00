#pragma once
// The readings as a CSV file: a header line, then one line per reading in the order
// of time: time (ISO 8601, local time with milliseconds and its offset from UTC),
// quantity, value as the meter sent it, and the unit (V, A or W). UTF-8, since the
// sum is named in Cyrillic. A reading that was no number has an empty value.

#include <QString>

class QIODevice;

namespace meter {

class ReadingSource;

inline constexpr char kCsvHeader[] = "time,quantity,value,unit\n";

// Writes every reading of the history to 'out'; false when a write failed.
bool writeReadingsCsv(const ReadingSource& history, QIODevice& out);

// The time of a reading as the CSV writes it: the local time that is offsetSeconds
// ahead of UTC, "2024-03-05T14:07:09.042+03:00".
QString isoTimeText(qint64 msecsSinceEpoch, int offsetSeconds);

} // namespace meter
