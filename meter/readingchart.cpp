#include "readingchart.h"

#include "controlnames.h"
#include "readinghistory.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace meter {

namespace {

// The time axis writes what tells the ticks apart at the span shown.
QString timeFormat(qint64 spanMsecs)
{
    if (spanMsecs <= 3'600'000)
        return QStringLiteral("hh:mm:ss");
    if (spanMsecs <= 86'400'000)
        return QStringLiteral("hh:mm");
    return QStringLiteral("dd.MM hh:mm");
}

// A hidden series keeps its legend entry, greyed, so it can be shown again.
void showMarkerState(QLegendMarker* marker, bool shown)
{
    marker->setVisible(true);
    marker->setLabelBrush(shown ? QBrush(Qt::black) : QBrush(Qt::gray));
    QColor colour = marker->brush().color();
    colour.setAlphaF(shown ? 1.0 : 0.25);
    marker->setBrush(colour);
}

} // namespace

ReadingChart::ReadingChart(QWidget* parent, const char* name, const QString& title, const QList<ReadingQuantity>& quantities)
    // The chart is handed over at construction: setChart() would leave the view's
    // own first chart to nobody.
    : QChartView(new QChart, parent)
    , time_(new QDateTimeAxis)
    , values_(new QValueAxis)
{
    ui::nameControl(this, name);
    QChart* chart = this->chart();
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->addAxis(time_, Qt::AlignBottom);
    chart->addAxis(values_, Qt::AlignLeft);
    time_->setTickCount(6);
    values_->setLabelFormat(QStringLiteral("%.6g"));
    for (const ReadingQuantity quantity : quantities) {
        auto* line = new QLineSeries;
        line->setName(quantityName(quantity));
        chart->addSeries(line);
        line->attachAxis(time_);
        line->attachAxis(values_);
        lines_.emplace_back(quantity, line);
    }
    for (const auto& [quantity, line] : lines_) {
        for (QLegendMarker* marker : chart->legend()->markers(line))
            connect(marker, &QLegendMarker::clicked, this, [this, line = line] { toggleSeries(line); });
    }
}

void ReadingChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    emit needsRedraw();
}

int ReadingChart::plotColumns() const
{
    return std::max(1, int(std::ceil(chart()->plotArea().width())));
}

void ReadingChart::toggleSeries(QLineSeries* line)
{
    line->setVisible(!line->isVisible());
    for (QLegendMarker* marker : chart()->legend()->markers(line))
        showMarkerState(marker, line->isVisible());
    emit needsRedraw();
}

void ReadingChart::draw(const ReadingHistory& history, TimeRange range)
{
    const int columns = plotColumns();
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    std::vector<QList<QPointF>> shown(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!lines_[i].second->isVisible())
            continue;
        shown[i] = thinnedPoints(history.series(lines_[i].first), range, columns);
        for (const QPointF& p : shown[i]) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    }
    // Every change of an axis lays out every point of the chart again: the old points
    // go first, the axes are set on empty series, and the new points come last.
    for (const auto& [quantity, line] : lines_)
        if (line->count() > 0)
            line->clear();
    time_->setFormat(timeFormat(range.to - range.from));
    time_->setRange(QDateTime::fromMSecsSinceEpoch(range.from), QDateTime::fromMSecsSinceEpoch(range.to));
    if (low <= high)
        fitValueAxis(low, high);
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (!shown[i].isEmpty())
            lines_[i].second->replace(shown[i]);
}

void ReadingChart::fitValueAxis(double low, double high)
{
    // A flat line sits in the middle of the plot rather than on its edge.
    const double margin = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(high) * 0.05);
    values_->setRange(low - margin, high + margin);
    values_->applyNiceNumbers();
}

} // namespace meter
