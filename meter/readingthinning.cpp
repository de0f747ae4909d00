#include "readingthinning.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace meter {

namespace {

constexpr qint64 kShortestSpan = 1000;

qint64 windowLength(TimeWindow window)
{
    switch (window) {
    case TimeWindow::LastMinute: return 60'000;
    case TimeWindow::LastTenMinutes: return 600'000;
    case TimeWindow::LastHour: return 3'600'000;
    case TimeWindow::All: break;
    }
    return 0;
}

// The lowest and the highest reading that fell into one pixel column.
struct Extremes {
    qint64 lowAt = 0;
    double low = 0;
    qint64 highAt = 0;
    double high = 0;
    std::uint32_t lowOrder = 0;
    std::uint32_t highOrder = 0;
    bool any = false;
};

} // namespace

TimeRange windowRange(TimeWindow window, qint64 earliest, qint64 end)
{
    const qint64 length = windowLength(window);
    const qint64 from = length > 0 ? end - length : std::min(earliest, end);
    return TimeRange{std::min(from, end - kShortestSpan), end};
}

QList<QList<QPointF>> thinnedLines(const ReadingSeries& series, TimeRange range, int columns)
{
    QList<QList<QPointF>> lines;
    if (range.isEmpty() || columns <= 0 || series.isEmpty())
        return lines;
    const qint64 span = range.to - range.from + 1;
    std::vector<Extremes> extremes(static_cast<std::size_t>(columns));
    // Each run is drawn as a line of its own: what the columns hold goes into the line
    // and the columns are emptied for the next run.
    const auto endRun = [&] {
        QList<QPointF> points;
        for (Extremes& e : extremes) {
            if (!e.any)
                continue;
            const bool lowFirst = e.lowOrder <= e.highOrder;
            points.append(lowFirst ? QPointF(double(e.lowAt), e.low) : QPointF(double(e.highAt), e.high));
            if (e.lowOrder != e.highOrder)
                points.append(lowFirst ? QPointF(double(e.highAt), e.high) : QPointF(double(e.lowAt), e.low));
            e = Extremes{};
        }
        if (!points.isEmpty())
            lines.append(points);
    };
    const auto columnOf = [&](qint64 msecs) { return int((msecs - range.from) * columns / span); };
    // A gap narrower than a column could not be seen: the runs on either side of it are
    // drawn as one line.
    const auto startRun = [&](qsizetype, qint64 last, qint64 first) {
        if (last != std::numeric_limits<qint64>::min() && columnOf(first) != columnOf(last))
            endRun();
    };
    std::uint32_t order = 0;
    series.visitRunsBetween(range.from, range.to, startRun, [&](qint64 msecs, ReadingValue value) {
        ++order;
        if (!value.isNumber())
            return;
        const double y = value.toDouble();
        const int column = columnOf(msecs);
        Extremes& e = extremes[std::size_t(column)];
        if (!e.any) {
            e = Extremes{msecs, y, msecs, y, order, order, true};
            return;
        }
        if (y < e.low)
            e.low = y, e.lowAt = msecs, e.lowOrder = order;
        if (y > e.high)
            e.high = y, e.highAt = msecs, e.highOrder = order;
    });
    endRun();
    return lines;
}

} // namespace meter
