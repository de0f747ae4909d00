#pragma once
// One chart of the reading window: the quantities of one kind (voltages, currents or
// powers), so that units never share an axis, which is labelled with the unit. A
// quantity is drawn as one line per run of readings, so a stopped poll leaves a gap;
// a click on a quantity's legend entry hides or shows all its lines.

#include "readingquantity.h"
#include "readingthinning.h"

#include <QChartView>
#include <QList>
#include <vector>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace meter {

class ReadingSource;

class ReadingChart : public QChartView {
    Q_OBJECT
public:
    ReadingChart(QWidget* parent, const char* name, const QString& title, const QList<Quantity>& quantities);

    // Draws the readings stamped within 'range': every shown series thinned to the
    // plot's width, the time axis on the range, the value axis fitted to what is shown.
    void draw(const ReadingSource& history, TimeRange range);
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
    // A quantity's lines: the first is the one in the legend; the others, made as the
    // runs need them, draw in its colour and stay out of the legend.
    struct Lines {
        Quantity quantity;
        std::vector<QLineSeries*> pieces;
        bool shown = true;
    };

    QLineSeries* addPiece(const QString& name);
    void setPieceCount(Lines& lines, std::size_t count);
    void keepOutOfLegend(QLineSeries* piece);
    void toggleLines(Lines& lines);
    void fitValueAxis(double low, double high);

    QDateTimeAxis* const time_;
    QValueAxis* const values_;
    std::vector<Lines> lines_;
};

} // namespace meter
