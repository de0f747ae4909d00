// The window "График показаний" on the offscreen screen: what it draws for each time
// window, pause, the legend, saving the picture and the readings, and its menu item.

#include "modalcatcher.h"
#include "readingchartloader.h"
#include "readingchartwindow.h"
#include "readinghistory.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

using namespace meter;

namespace {

constexpr qint64 kStart = 1711843200000;

// Readings of every quantity every 'step' ms from 'from' to 'to', a slow ramp.
void fill(ReadingHistory& history, qint64 from, qint64 to, qint64 step)
{
    for (qint64 t = from; t <= to; t += step)
        for (const Quantity q : kAllQuantities)
            history.add(q, QDateTime::fromMSecsSinceEpoch(t), QString::number(100 * int(quantityIndex(q)) + (t / step) % 50));
}

QChartView* chartView(QWidget& window, const char* name)
{
    auto* view = window.findChild<QChartView*>(QLatin1String(name));
    Q_ASSERT(view);
    return view;
}

QDateTimeAxis* timeAxis(QWidget& window, const char* chart)
{
    return qobject_cast<QDateTimeAxis*>(chartView(window, chart)->chart()->axes(Qt::Horizontal).value(0));
}

// Every line a quantity is drawn with, in the order the chart holds them.
QList<QLineSeries*> lines(QWidget& window, const char* chart, const QString& name)
{
    QList<QLineSeries*> found;
    for (QAbstractSeries* series : chartView(window, chart)->chart()->series())
        if (series->name() == name)
            found << qobject_cast<QLineSeries*>(series);
    return found;
}

QLineSeries* line(QWidget& window, const char* chart, const QString& name)
{
    for (QAbstractSeries* series : chartView(window, chart)->chart()->series())
        if (series->name() == name)
            return qobject_cast<QLineSeries*>(series);
    return nullptr;
}

// Where the time axes of the three charts begin or end; -1 while they differ, as
// they do while a drawing goes from one chart to the next.
qint64 shownEdge(QWidget& window, bool end)
{
    qint64 edge = -1;
    for (const char* chart : {"chartVoltage", "chartCurrent", "chartPower"}) {
        QDateTimeAxis* axis = timeAxis(window, chart);
        const qint64 at = (end ? axis->max() : axis->min()).toMSecsSinceEpoch();
        if (edge >= 0 && at != edge)
            return -1;
        edge = at;
    }
    return edge;
}
qint64 shownFrom(QWidget& window) { return shownEdge(window, false); }
qint64 shownTo(QWidget& window) { return shownEdge(window, true); }

} // namespace

class TestReadingChartWindow : public QObject {
    Q_OBJECT
private slots:
    void timeWindowLimitsWhatIsDrawn_data();
    void timeWindowLimitsWhatIsDrawn();
    void pauseKeepsTheDrawnRangeStill();
    void legendHidesAndShowsASeries();
    void unitsAndAGapWhereThePollStopped();
    void saves_data();
    void saves();
    void menuItemOpensOneNamedWindow();
};

void TestReadingChartWindow::timeWindowLimitsWhatIsDrawn_data()
{
    QTest::addColumn<int>("span");
    QTest::addColumn<qint64>("length");

    QTest::newRow("last minute") << 0 << qint64(60'000);
    QTest::newRow("10 minutes") << 1 << qint64(600'000);
    QTest::newRow("hour") << 2 << qint64(3'600'000);
    QTest::newRow("all") << 3 << qint64(7'200'000);
}

void TestReadingChartWindow::timeWindowLimitsWhatIsDrawn()
{
    QFETCH(int, span);
    QFETCH(qint64, length);
    ReadingHistory history;
    const qint64 end = kStart + 7'200'000;
    fill(history, kStart, end, 3000);
    ReadingChartWindow window(history);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QComboBox*>(QStringLiteral("chartSpan"))->setCurrentIndex(span);

    QTRY_COMPARE(shownFrom(window), end - length);
    QTRY_COMPARE(shownTo(window), end);
    for (const char* chart : {"chartVoltage", "chartCurrent", "chartPower"}) {
        const QList<QAbstractSeries*> all = chartView(window, chart)->chart()->series();
        QVERIFY(all.size() >= 3);
        const int columns = int(chartView(window, chart)->chart()->plotArea().width()) + 1;
        for (QAbstractSeries* series : all) {
            const QList<QPointF> points = qobject_cast<QLineSeries*>(series)->points();
            QVERIFY2(!points.isEmpty(), qPrintable(series->name()));
            QVERIFY(points.size() <= std::min<qint64>(2 * columns, length / 3000 + 1));
            for (const QPointF& p : points)
                QVERIFY(p.x() >= double(end - length) && p.x() <= double(end));
        }
    }
}

void TestReadingChartWindow::pauseKeepsTheDrawnRangeStill()
{
    ReadingHistory history;
    const qint64 end = kStart + 600'000;
    fill(history, kStart, end, 1000);
    ReadingChartWindow window(history);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(shownTo(window), end);
    QTRY_COMPARE(line(window, "chartPower", QStringLiteral("W3"))->points().last().x(), double(end));
    const QList<QPointF> drawn = line(window, "chartVoltage", QStringLiteral("V1"))->points();

    auto* pause = window.findChild<QPushButton*>(QStringLiteral("chartPause"));
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QStringLiteral("Продолжить"));
    const qsizetype before = history.size();
    fill(history, end + 1000, end + 60'000, 1000);
    QCOMPARE(history.size(), before + 60 * kQuantityCount);
    // The refresh clock's own turn, and one called at once.
    QTest::qWait(700);
    window.refresh();
    QApplication::processEvents();
    QCOMPARE(shownTo(window), end);
    QCOMPARE(line(window, "chartVoltage", QStringLiteral("V1"))->points(), drawn);
    QVERIFY(window.findChild<QLabel*>(QStringLiteral("chartCount"))->text().contains(QString::number(history.size())));

    // Another time window while paused still ends where the pause stopped the display.
    window.findChild<QComboBox*>(QStringLiteral("chartSpan"))->setCurrentIndex(int(TimeWindow::LastMinute));
    QTRY_COMPARE(shownFrom(window), end - 60'000);
    QTRY_COMPARE(shownTo(window), end);

    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QStringLiteral("Пауза"));
    QTRY_COMPARE(shownTo(window), end + 60'000);
    QCOMPARE(line(window, "chartVoltage", QStringLiteral("V1"))->points().last().x(), double(end + 60'000));
}

void TestReadingChartWindow::legendHidesAndShowsASeries()
{
    ReadingHistory history;
    fill(history, kStart, kStart + 60'000, 1000);
    // The sum far above the phases: hiding it must bring the value axis down to them.
    for (qint64 t = kStart; t <= kStart + 60'000; t += 1000)
        history.add(Quantity::Sum, QDateTime::fromMSecsSinceEpoch(t), QStringLiteral("100000"));
    ReadingChartWindow window(history);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QChart* power = chartView(window, "chartPower")->chart();
    QLineSeries* sum = line(window, "chartPower", QStringLiteral("Сумма"));
    QTRY_VERIFY(!sum->points().isEmpty());
    auto* values = qobject_cast<QValueAxis*>(power->axes(Qt::Vertical).value(0));
    QVERIFY(values->max() >= 100000);

    QLegendMarker* marker = power->legend()->markers(sum).value(0);
    QVERIFY(marker);
    emit marker->clicked();
    QVERIFY(!sum->isVisible());
    QVERIFY(marker->isVisible());
    QTRY_VERIFY(values->max() < 10000);
    QVERIFY(line(window, "chartPower", QStringLiteral("W1"))->isVisible());

    emit marker->clicked();
    QVERIFY(sum->isVisible());
    QTRY_VERIFY(!sum->points().isEmpty());
    QVERIFY(values->max() >= 100000);
}

void TestReadingChartWindow::unitsAndAGapWhereThePollStopped()
{
    ReadingHistory history;
    const auto at = [](qint64 msecs) { return QDateTime::fromMSecsSinceEpoch(msecs); };
    // V1 as the meter sent it for a minute, the poll stopped for a minute, then V1 again.
    for (qint64 t = kStart; t <= kStart + 60'000; t += 1000)
        history.add(Quantity::V1, at(t), QStringLiteral("220.51"));
    history.breakSeries();
    for (qint64 t = kStart + 120'000; t <= kStart + 180'000; t += 1000)
        history.add(Quantity::V1, at(t), QStringLiteral("219.8"));
    ReadingChartWindow window(history);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTRY_COMPARE(lines(window, "chartVoltage", QStringLiteral("V1")).size(), 2);
    const QList<QLineSeries*> v1 = lines(window, "chartVoltage", QStringLiteral("V1"));
    QTRY_VERIFY(!v1[1]->points().isEmpty());
    for (const QPointF& p : v1[0]->points())
        QVERIFY(p.y() == 220.51 && p.x() <= double(kStart + 60'000));
    for (const QPointF& p : v1[1]->points())
        QVERIFY(p.y() == 219.8 && p.x() >= double(kStart + 120'000));
    QCOMPARE(v1[1]->color(), v1[0]->color());

    const std::pair<const char*, const char*> units[] = {{"chartVoltage", "V"}, {"chartCurrent", "A"}, {"chartPower", "W"}};
    for (const auto& [chart, unit] : units)
        QCOMPARE(chartView(window, chart)->chart()->axes(Qt::Vertical).value(0)->titleText(), QLatin1String(unit));

    // One legend entry for the quantity, and it hides and shows both lines; shown
    // again, the second line still stays out of the legend.
    QChart* voltage = chartView(window, "chartVoltage")->chart();
    const auto shownMarkers = [voltage] {
        QList<QLegendMarker*> shown;
        for (QLegendMarker* marker : voltage->legend()->markers())
            if (marker->series()->name() == u"V1" && marker->isVisible())
                shown << marker;
        return shown;
    };
    QTRY_COMPARE(shownMarkers().size(), 1);
    QLegendMarker* marker = shownMarkers().front();
    emit marker->clicked();
    QVERIFY(!v1[0]->isVisible() && !v1[1]->isVisible());
    emit marker->clicked();
    QVERIFY(v1[0]->isVisible() && v1[1]->isVisible());
    QTRY_COMPARE(shownMarkers(), QList<QLegendMarker*>{marker});
}

void TestReadingChartWindow::saves_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("answer"); // relative to a fresh folder; empty: cancelled
    QTest::addColumn<QString>("written"); // the file expected; empty: none

    QTest::newRow("csv, suffix added") << "chartSaveCsv" << "day" << "day.csv";
    QTest::newRow("png, own suffix kept") << "chartSavePng" << "chart.png" << "chart.png";
    QTest::newRow("csv into a missing folder") << "chartSaveCsv" << "missing/day.csv" << "";
    QTest::newRow("png into a missing folder") << "chartSavePng" << "missing/chart.png" << "";
    QTest::newRow("cancelled") << "chartSaveCsv" << "" << "";
}

void TestReadingChartWindow::saves()
{
    QFETCH(QString, button);
    QFETCH(QString, answer);
    QFETCH(QString, written);
    QTemporaryDir folder;
    ReadingHistory history;
    fill(history, kStart, kStart + 30'000, 1000);
    history.add(Quantity::V2, QDateTime::fromMSecsSinceEpoch(kStart + 30'500), QString());
    ReadingChartWindow window(history);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QString asked;
    window.setSavePathChooser([&](QWidget*, const QString&, const QString& suggested, const QString&) {
        asked = suggested;
        return answer.isEmpty() ? QString() : folder.filePath(answer);
    });

    qldixw::testing::ModalCatcher catcher;
    QTest::mouseClick(window.findChild<QPushButton*>(button), Qt::LeftButton);
    QVERIFY(asked.endsWith(button.endsWith(u"Csv") ? u".csv" : u".png"));

    if (written.isEmpty()) {
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(catcher.texts().size(), answer.isEmpty() ? 0 : 1);
        if (!answer.isEmpty())
            QVERIFY(catcher.texts().front().startsWith(QStringLiteral("Не удалось сохранить файл")));
        return;
    }
    QCOMPARE(catcher.texts(), QStringList());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{written});
    const QString path = folder.filePath(written);
    if (written.endsWith(u".png")) {
        const QImage image(path);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), window.findChild<QWidget*>(QStringLiteral("chartArea"))->size() * window.devicePixelRatio());
        return;
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.front(), QByteArray("time,quantity,value,unit"));
    QCOMPARE(lines.size(), history.size() + 2); // the header, and nothing after the last newline
    QVERIFY(lines[lines.size() - 2].endsWith(",V2,,V"));
}

void TestReadingChartWindow::menuItemOpensOneNamedWindow()
{
    // The menu item makes its window with the chart module, as the program does; the
    // window is the module's class, not this test's copy, so it is found by its name.
    setReadingChartModuleFiles({QStringLiteral(QLDIXW_READING_CHART_MODULE)});
    ReadingHistory history;
    QWidget mainWindow;
    mainWindow.show();
    QAction* action = makeReadingChartAction(history, &mainWindow);
    QCOMPARE(action->text(), QStringLiteral("График показаний"));
    action->trigger();
    action->trigger();
    const QList<QWidget*> windows = mainWindow.findChildren<QWidget*>(QStringLiteral("ReadingChartWindow"));
    QCOMPARE(windows.size(), 1);
    QWidget* window = windows.front();
    QVERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowTitle(), QStringLiteral("График показаний"));

    int named = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!qobject_cast<QAbstractButton*>(w) && !qobject_cast<QComboBox*>(w) && !qobject_cast<QLabel*>(w)
            && !qobject_cast<QChartView*>(w))
            continue;
        QVERIFY2(!w->objectName().isEmpty(), w->metaObject()->className());
        QCOMPARE(w->accessibleDescription(), w->objectName());
        ++named;
    }
    QCOMPARE(named, 4 + 2 + 3); // four buttons and the list, two labels, three charts
}

QTEST_MAIN(TestReadingChartWindow)
#include "test_readingchartwindow.moc"
