#include "readingchart.h"

#include "controlnames.h"
#include "readingsource.h"

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

ReadingChart::ReadingChart(QWidget* parent, const char* name, const QString& title, const QList<Quantity>& quantities)
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
    if (!quantities.isEmpty())
        values_->setTitleText(unitName(quantities.front()));
    for (const Quantity quantity : quantities)
        lines_.push_back(Lines{quantity, {addPiece(quantityName(quantity))}});
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        for (QLegendMarker* marker : chart->legend()->markers(lines_[i].pieces.front()))
            connect(marker, &QLegendMarker::clicked, this, [this, i] { toggleLines(lines_[i]); });
    }
}

QLineSeries* ReadingChart::addPiece(const QString& name)
{
    auto* piece = new QLineSeries;
    piece->setName(name);
    chart()->addSeries(piece);
    piece->attachAxis(time_);
    piece->attachAxis(values_);
    return piece;
}

void ReadingChart::setPieceCount(Lines& lines, std::size_t count)
{
    count = std::max<std::size_t>(count, 1);
    QLineSeries* const first = lines.pieces.front();
    while (lines.pieces.size() < count) {
        QLineSeries* piece = addPiece(first->name());
        piece->setPen(first->pen());
        keepOutOfLegend(piece);
        lines.pieces.push_back(piece);
    }
    while (lines.pieces.size() > count) {
        QLineSeries* piece = lines.pieces.back();
        lines.pieces.pop_back();
        chart()->removeSeries(piece);
        delete piece;
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

void ReadingChart::keepOutOfLegend(QLineSeries* piece)
{
    for (QLegendMarker* marker : chart()->legend()->markers(piece))
        marker->setVisible(false);
}

void ReadingChart::toggleLines(Lines& lines)
{
    lines.shown = !lines.shown;
    for (QLineSeries* piece : lines.pieces) {
        piece->setVisible(lines.shown);
        // Showing a series shows its legend entry again.
        if (piece != lines.pieces.front())
            keepOutOfLegend(piece);
    }
    for (QLegendMarker* marker : chart()->legend()->markers(lines.pieces.front()))
        showMarkerState(marker, lines.shown);
    emit needsRedraw();
}

void ReadingChart::draw(const ReadingSource& history, TimeRange range)
{
    const int columns = plotColumns();
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    std::vector<QList<QList<QPointF>>> shown(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!lines_[i].shown)
            continue;
        shown[i] = thinnedLines(history.series(lines_[i].quantity), range, columns);
        for (const QList<QPointF>& line : shown[i]) {
            for (const QPointF& p : line) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
        }
    }
    // Every change of an axis lays out every point of the chart again: the old points
    // go first, the axes are set on empty series, and the new points come last.
    for (const Lines& lines : lines_)
        for (QLineSeries* piece : lines.pieces)
            if (piece->count() > 0)
                piece->clear();
    time_->setFormat(timeFormat(range.to - range.from));
    time_->setRange(QDateTime::fromMSecsSinceEpoch(range.from), QDateTime::fromMSecsSinceEpoch(range.to));
    if (low <= high)
        fitValueAxis(low, high);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        // A hidden quantity keeps its pieces until it is drawn again.
        if (!lines_[i].shown)
            continue;
        setPieceCount(lines_[i], std::size_t(shown[i].size()));
        for (qsizetype run = 0; run < shown[i].size(); ++run)
            lines_[i].pieces[std::size_t(run)]->replace(shown[i][run]);
    }
}

void ReadingChart::fitValueAxis(double low, double high)
{
    // A flat line sits in the middle of the plot rather than on its edge.
    const double margin = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(high) * 0.05);
    values_->setRange(low - margin, high + margin);
    values_->applyNiceNumbers();
}

} // namespace meter
