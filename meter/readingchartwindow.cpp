#include "readingchartwindow.h"

#include "controlnames.h"
#include "readingchart.h"
#include "readingcsv.h"
#include "readingsource.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include <algorithm>

using ui::makeControl;

namespace meter {

namespace {

// The shortest wait between two drawings, and how many times the last drawing's
// cost the clock waits at least.
constexpr int kRefreshMsecs = 500;
constexpr int kCostFactor = 4;

QString defaultSavePath(QWidget* parent, const QString& caption, const QString& suggestedName, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, suggestedName, filter);
}

} // namespace

ReadingChartWindow::ReadingChartWindow(const ReadingSource& history, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , history_(&history)
    , historyHolder_(history.holder())
    , span_(makeControl<QComboBox>(this, "chartSpan"))
    , pause_(makeControl<QPushButton>(this, "chartPause", QStringLiteral("Пауза")))
    , savePng_(makeControl<QPushButton>(this, "chartSavePng", QStringLiteral("Сохранить PNG ...")))
    , saveCsv_(makeControl<QPushButton>(this, "chartSaveCsv", QStringLiteral("Сохранить CSV ...")))
    , count_(makeControl<QLabel>(this, "chartCount"))
    , charts_(makeControl<QWidget>(this, "chartArea"))
    , choosePath_(defaultSavePath)
    , saveFolder_(QDir::homePath())
{
    setObjectName(QStringLiteral("ReadingChartWindow"));
    setWindowTitle(QStringLiteral("График показаний"));
    resize(960, 820);

    // In the order of TimeWindow.
    span_->addItems({QStringLiteral("Последняя минута"), QStringLiteral("10 минут"), QStringLiteral("Час"),
                     QStringLiteral("Всё")});
    span_->setCurrentIndex(int(TimeWindow::LastTenMinutes));
    pause_->setCheckable(true);

    auto* top = new QHBoxLayout;
    top->addWidget(makeControl<QLabel>(this, "chartSpanLabel", QStringLiteral("Показать:")));
    top->addWidget(span_);
    top->addWidget(pause_);
    top->addStretch(1);
    top->addWidget(count_);
    top->addWidget(savePng_);
    top->addWidget(saveCsv_);

    chartList_ = {
        new ReadingChart(charts_, "chartVoltage", QStringLiteral("Напряжение"), {Quantity::V1, Quantity::V2, Quantity::V3}),
        new ReadingChart(charts_, "chartCurrent", QStringLiteral("Ток"), {Quantity::A1, Quantity::A2, Quantity::A3}),
        new ReadingChart(charts_, "chartPower", QStringLiteral("Мощность"),
                         {Quantity::W1, Quantity::W2, Quantity::W3, Quantity::Sum}),
    };
    auto* chartColumn = new QVBoxLayout(charts_);
    chartColumn->setContentsMargins(0, 0, 0, 0);
    for (ReadingChart* chart : chartList_) {
        chartColumn->addWidget(chart);
        connect(chart, &ReadingChart::needsRedraw, this, &ReadingChartWindow::scheduleRedraw);
    }

    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(charts_, 1);

    refreshClock_.setSingleShot(true);
    redrawSoon_.setSingleShot(true);
    redrawSoon_.setInterval(0);
    drawRest_.setSingleShot(true);
    drawRest_.setInterval(0);
    connect(&drawRest_, &QTimer::timeout, this, &ReadingChartWindow::drawNextChart);
    connect(&refreshClock_, &QTimer::timeout, this, &ReadingChartWindow::refresh);
    connect(&redrawSoon_, &QTimer::timeout, this, &ReadingChartWindow::redraw);
    history.whenGrown(this, [this] { historyGrew(); });
    connect(span_, &QComboBox::currentIndexChanged, this, &ReadingChartWindow::scheduleRedraw);
    connect(pause_, &QPushButton::toggled, this, &ReadingChartWindow::setPaused);
    connect(savePng_, &QPushButton::clicked, this, [this] {
        askAndSave(QStringLiteral("Сохранить график"), QStringLiteral(".png"), QStringLiteral("Рисунок PNG (*.png)"),
                   &ReadingChartWindow::savePng);
    });
    connect(saveCsv_, &QPushButton::clicked, this, [this] {
        askAndSave(QStringLiteral("Сохранить показания"), QStringLiteral(".csv"), QStringLiteral("Файл CSV (*.csv)"),
                   &ReadingChartWindow::saveCsv);
    });
}

void ReadingChartWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    scheduleRedraw();
}

void ReadingChartWindow::historyGrew()
{
    if (isVisible() && !refreshClock_.isActive())
        refreshClock_.start(std::max(kRefreshMsecs, kCostFactor * lastDrawMsecs_));
}

void ReadingChartWindow::scheduleRedraw()
{
    redrawSoon_.start();
}

void ReadingChartWindow::refresh()
{
    if (const ReadingSource* readings = history())
        count_->setText(QStringLiteral("Показаний: %1").arg(readings->size()));
    if (!paused_)
        redraw();
}

void ReadingChartWindow::redraw()
{
    const ReadingSource* readings = history();
    if (!readings || !isVisible())
        return;
    const bool empty = readings->isEmpty();
    if (!paused_ || !drawnEnd_)
        drawnEnd_ = empty ? QDateTime::currentMSecsSinceEpoch() : readings->latest();
    const qint64 earliest = empty ? *drawnEnd_ : std::min(readings->earliest(), *drawnEnd_);
    drawing_ = windowRange(TimeWindow(span_->currentIndex()), earliest, *drawnEnd_);
    count_->setText(QStringLiteral("Показаний: %1").arg(readings->size()));
    nextChart_ = 0;
    drawMsecs_ = 0;
    drawNextChart();
}

void ReadingChartWindow::drawNextChart()
{
    const ReadingSource* readings = history();
    if (!readings || nextChart_ >= chartList_.size())
        return;
    QElapsedTimer cost;
    cost.start();
    chartList_[nextChart_++]->draw(*readings, drawing_);
    drawMsecs_ += cost.elapsed();
    if (nextChart_ < chartList_.size())
        drawRest_.start();
    else
        lastDrawMsecs_ = int(std::min<qint64>(drawMsecs_, 60'000));
}

void ReadingChartWindow::setPaused(bool paused)
{
    paused_ = paused;
    pause_->setText(paused ? QStringLiteral("Продолжить") : QStringLiteral("Пауза"));
    if (!paused)
        scheduleRedraw();
}

void ReadingChartWindow::askAndSave(const QString& caption, const QString& suffix, const QString& filter,
                                    bool (ReadingChartWindow::*save)(const QString&))
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString suggested = QDir(saveFolder_).filePath(QStringLiteral("readings-%1%2").arg(stamp, suffix));
    QString path = choosePath_(this, caption, suggested, filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += suffix;
    saveFolder_ = QFileInfo(path).absolutePath();
    (this->*save)(path);
}

bool ReadingChartWindow::savePng(const QString& path)
{
    const QImage image = charts_->grab().toImage();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        showSaveError(path, file.errorString());
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        file.cancelWriting();
        showSaveError(path, writer.errorString());
        return false;
    }
    if (!file.commit()) {
        showSaveError(path, file.errorString());
        return false;
    }
    return true;
}

bool ReadingChartWindow::saveCsv(const QString& path)
{
    const ReadingSource* readings = history();
    if (!readings)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        showSaveError(path, file.errorString());
        return false;
    }
    if (!writeReadingsCsv(*readings, file)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        showSaveError(path, reason);
        return false;
    }
    if (!file.commit()) {
        showSaveError(path, file.errorString());
        return false;
    }
    return true;
}

void ReadingChartWindow::showSaveError(const QString& path, const QString& reason)
{
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("Не удалось сохранить файл %1.\n%2").arg(QDir::toNativeSeparators(path), reason));
}

} // namespace meter
