#pragma once
// What a chart draws of a series: the time range a window choice shows and, within
// it, no more points than the screen can tell apart. A chart's cost then follows its
// width in pixels, not the length of the history.

#include "readingseries.h"

#include <QList>
#include <QPointF>

namespace meter {

enum class TimeWindow { LastMinute, LastTenMinutes, LastHour, All };

// From and to in milliseconds since the epoch, both included.
struct TimeRange {
    qint64 from = 0;
    qint64 to = -1;
    bool isEmpty() const { return to < from; }
    bool operator==(const TimeRange&) const = default;
};

// The range a window choice shows when the newest reading to show is stamped 'end'
// and the oldest one 'earliest': the last minute, ten minutes or hour up to 'end',
// or everything. A range is never shorter than a second, so an axis has a span.
TimeRange windowRange(TimeWindow window, qint64 earliest, qint64 end);

// The lines to draw of the readings within 'range' on 'columns' pixel columns: one
// line for each run of the series (a stopped poll breaks it) unless the gap is too
// narrow to be seen (the next run goes on in the column the last one ended in), and
// in it, for every column the lowest and the highest reading, in the order they came,
// so every spike stays visible. x is the time in milliseconds since the epoch, y the
// value; readings that are not numbers are left out, and so is a run without a number.
QList<QList<QPointF>> thinnedLines(const ReadingSeries& series, TimeRange range, int columns);

} // namespace meter
