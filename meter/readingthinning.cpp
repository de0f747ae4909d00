#include "readingthinning.h"

#include <algorithm>
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
    // The columns the current run reached: only those are read and reset at its end,
    // so the runs cost what they cover, not the width each.
    int firstColumn = columns;
    int lastColumn = -1;
    const auto endRun = [&] {
        QList<QPointF> points;
        points.reserve(2 * std::max(0, lastColumn - firstColumn + 1));
        for (int column = firstColumn; column <= lastColumn; ++column) {
            Extremes& e = extremes[std::size_t(column)];
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
        firstColumn = columns;
        lastColumn = -1;
    };
    qsizetype run = -1;
    std::uint32_t order = 0;
    series.visitRunsBetween(range.from, range.to, [&](qsizetype readingRun, qint64 msecs, ReadingValue value) {
        if (readingRun != run) {
            endRun();
            run = readingRun;
        }
        ++order;
        if (!value.isNumber())
            return;
        const double y = value.toDouble();
        const int column = int((msecs - range.from) * columns / span);
        firstColumn = std::min(firstColumn, column);
        lastColumn = std::max(lastColumn, column);
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
