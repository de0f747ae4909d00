#pragma once
// The window "График показаний": the meter's readings over time in three charts
// (voltages, currents, powers with their sum), a choice of how much time to show,
// a pause of the display while the history goes on growing, and the chart saved as
// a picture or the readings saved as CSV.

#include "readingthinning.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;

namespace meter {

class ReadingChart;
class ReadingSource;

class ReadingChartWindow : public QWidget {
    Q_OBJECT
public:
    // Asks where to save: the suggested file name and the dialog's filter; an empty
    // answer means the user changed their mind. The file dialog by default; tests put
    // their own answer in its place.
    using SavePathChooser =
        std::function<QString(QWidget* parent, const QString& caption, const QString& suggestedName, const QString& filter)>;

    // The readings' holder must outlive the window, or the window stops drawing when it goes.
    explicit ReadingChartWindow(const ReadingSource& history, QWidget* parent = nullptr);

    void setSavePathChooser(SavePathChooser chooser) { choosePath_ = std::move(chooser); }

    // What the refresh clock does: counts the readings and, unless paused, draws them.
    void refresh();
    // Save through QSaveFile, so a failed save leaves any earlier file as it was;
    // a failure is shown in a message box and returns false.
    bool savePng(const QString& path);
    bool saveCsv(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void redraw();
    void drawNextChart();
    void scheduleRedraw();
    void historyGrew();
    void setPaused(bool paused);
    void askAndSave(const QString& caption, const QString& suffix, const QString& filter,
                    bool (ReadingChartWindow::*save)(const QString&));
    void showSaveError(const QString& path, const QString& reason);

    // The readings while their holder lives, else null.
    const ReadingSource* history() const { return historyHolder_ ? history_ : nullptr; }

    const ReadingSource* const history_;
    const QPointer<const QObject> historyHolder_;
    QComboBox* const span_;
    QPushButton* const pause_;
    QPushButton* const savePng_;
    QPushButton* const saveCsv_;
    QLabel* const count_;
    QWidget* const charts_;
    std::array<ReadingChart*, 3> chartList_{};

    // The clock of the drawing: it runs only while readings wait to be drawn, and waits
    // the longer the last drawing took, so the chart keeps to a small share of the
    // thread the line is served on.
    QTimer refreshClock_;
    // Choices and resizes, gathered into one drawing.
    QTimer redrawSoon_;
    // A drawing goes one chart per turn of the event loop, so that the line's events
    // wait for one chart at most; all three show the same range.
    QTimer drawRest_;
    TimeRange drawing_;
    std::size_t nextChart_ = 0;
    qint64 drawMsecs_ = 0;
    int lastDrawMsecs_ = 0;
    // The newest time the charts were last drawn up to; while paused they keep it.
    bool paused_ = false;
    std::optional<qint64> drawnEnd_;

    SavePathChooser choosePath_;
    QString saveFolder_;
};

} // namespace meter
