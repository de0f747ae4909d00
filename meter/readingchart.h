#pragma once
// One chart of the reading window: the quantities of one kind (voltages, currents or
// powers), so that units never share an axis. A click on a series' legend entry
// hides or shows the series.

#include "readingquantity.h"
#include "readingthinning.h"

#include <QChartView>
#include <QList>
#include <utility>
#include <vector>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace meter {

class ReadingHistory;

class ReadingChart : public QChartView {
    Q_OBJECT
public:
    ReadingChart(QWidget* parent, const char* name, const QString& title, const QList<ReadingQuantity>& quantities);

    // Draws the readings stamped within 'range': every shown series thinned to the
    // plot's width, the time axis on the range, the value axis fitted to what is shown.
    void draw(const ReadingHistory& history, TimeRange range);
    // The plot's width in pixels: how many columns a series is thinned to.
    int plotColumns() const;

signals:
    // A series was hidden or shown, or the chart changed its size.
    void needsRedraw();

protected:
    // The columns follow the chart's size; a plot that only shifts because the axis
    // labels changed their width is not drawn again for that.
    void resizeEvent(QResizeEvent* event) override;

private:
    void toggleSeries(QLineSeries* line);
    void fitValueAxis(double low, double high);

    QDateTimeAxis* const time_;
    QValueAxis* const values_;
    std::vector<std::pair<ReadingQuantity, QLineSeries*>> lines_;
};

} // namespace meter
