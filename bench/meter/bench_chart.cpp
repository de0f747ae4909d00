// What the meter's reading history and its chart window cost: appending 10^6
// readings through the entry point the meter feeds (time per reading in batches of
// 10^4 ending at 10^4, 10^5 and 10^6 readings; memory per reading), then drawing the
// window at 10^6 readings (the last ten minutes, and everything) and at a day of a
// 300 ms poll that reads every quantity on each tick (2.88 * 10^6), the same readings
// with the poll stopped for half an hour 143 times (every line drawn in 144 pieces),
// and writing the CSV. One line per figure.
//
//   bench_chart            on the offscreen screen unless QT_QPA_PLATFORM says otherwise

#include "readingchart.h"
#include "readingchartwindow.h"
#include "readingcsv.h"
#include "readinghistory.h"
#include "benchfigures.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace meter;

using bench::residentKiB;

namespace {

constexpr qint64 kStart = 1711843200000;
constexpr qint64 kPollMsecs = 300;
constexpr int kBatch = 10'000;

// Readings as the meter sends them (six characters, a decimal point in the voltages
// and currents), and the names the meter gives its readings.
struct Feed {
    QStringList names;
    std::vector<QStringList> texts;

    Feed()
    {
        for (const Quantity q : kAllQuantities) {
            names << quantityName(q);
            QStringList variants;
            for (int i = 0; i < 64; ++i) {
                const QString text = q <= Quantity::V3 ? QString::number((21900 + 7 * i) / 100.0, 'f', 2)
                    : q <= Quantity::A3                ? QString::number((4800 + 11 * i) / 1000.0, 'f', 3)
                                                       : QString::number(1050 + 3 * i);
                variants << text.rightJustified(6, u' ');
            }
            texts.push_back(variants);
        }
    }
};

// Feeds readings number 'first' to 'last' - 1, one per poll tick, the quantities in
// turn, stamped in UTC or in local time, and returns the nanoseconds the history took.
// With runLength, the poll stops after every runLength readings for 'pause' ms.
double feed(ReadingHistory& history, const Feed& f, qint64 first, qint64 last, Qt::TimeSpec stamps_in = Qt::UTC,
            qint64 runLength = 0, qint64 pause = 0)
{
    std::vector<QDateTime> stamps;
    stamps.reserve(std::size_t(last - first));
    for (qint64 i = first; i < last; ++i) {
        const qint64 paused = runLength > 0 ? i / runLength * pause : 0;
        stamps.push_back(QDateTime::fromMSecsSinceEpoch(kStart + i * kPollMsecs + paused, stamps_in));
    }
    QElapsedTimer clock;
    clock.start();
    for (qint64 i = first; i < last; ++i) {
        if (runLength > 0 && i % runLength == 0)
            history.breakSeries();
        const qsizetype q = qsizetype(i % kQuantityCount);
        history.addShown(f.names[q], f.texts[std::size_t(q)][qsizetype(i / kQuantityCount % 64)],
                         stamps[std::size_t(i - first)]);
    }
    return double(clock.nsecsElapsed());
}

// Draws the window's three charts over a window choice, a few times: the thinning
// alone, each chart's drawing (the window draws one per turn of the event loop, so
// the largest is the longest the line's events wait), and the paint of the window.
void measureRedraw(ReadingHistory& history, const char* label, TimeWindow choice, const char* choiceName)
{
    ReadingChartWindow window(history);
    window.resize(1280, 960);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::printf("the window was not exposed\n");
    window.findChild<QComboBox*>(QStringLiteral("chartSpan"))->setCurrentIndex(int(choice));
    QTest::qWait(50);
    window.grab();

    const QList<ReadingChart*> charts = window.findChildren<ReadingChart*>();
    const TimeRange range = windowRange(choice, history.earliest(), history.latest());
    const int rounds = 5;
    QElapsedTimer clock;
    clock.start();
    qsizetype points = 0;
    for (int r = 0; r < rounds; ++r)
        for (const Quantity q : kAllQuantities)
            for (const QList<QPointF>& line : thinnedLines(history.series(q), range, charts.front()->plotColumns()))
                points += line.size();
    const double thinMs = double(clock.nsecsElapsed()) / 1e6 / rounds;

    double allMs = 0, largestMs = 0, paintMs = 0;
    for (int r = 0; r < rounds; ++r) {
        for (ReadingChart* chart : charts) {
            clock.restart();
            chart->draw(history, range);
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            allMs += ms;
            largestMs = std::max(largestMs, ms);
        }
        clock.restart();
        window.grab();
        paintMs += double(clock.nsecsElapsed()) / 1e6;
    }
    std::printf("redraw at %s readings, \"%s\", 1280x960: %lld points drawn, thinning %.1f ms, "
                "three charts %.1f ms (largest %.1f ms), paint %.1f ms\n",
                label, choiceName, static_cast<long long>(points / rounds), thinMs, allMs / rounds, largestMs,
                paintMs / rounds);
}

void measureCsv(const ReadingHistory& history, const char* label)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QElapsedTimer clock;
    clock.start();
    writeReadingsCsv(history, out);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    std::printf("CSV of %s readings: %.0f ms, %.1f MB, %.0f ns per reading\n", label, ms,
                double(out.size()) / 1e6, ms * 1e6 / double(history.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Feed f;

    ReadingHistory history;
    const long residentBefore = residentKiB();
    std::vector<double> perReading;
    qint64 fed = 0;
    for (const qint64 mark : {qint64(10'000), qint64(100'000), qint64(1'000'000)}) {
        if (fed < mark - kBatch)
            feed(history, f, fed, mark - kBatch);
        const double ns = feed(history, f, mark - kBatch, mark);
        fed = mark;
        perReading.push_back(ns / kBatch);
        std::printf("append, batch of 10^4 ending at %lld readings: %.0f ns per reading\n",
                    static_cast<long long>(mark), ns / kBatch);
    }
    const auto [fastest, slowest] = std::minmax_element(perReading.begin(), perReading.end());
    std::printf("append, slowest / fastest batch: %.2f (goal at most 1.5)\n", *slowest / *fastest);
    const long residentAfter = residentKiB();
    {
        // What a stamp in local time adds: Qt converts it to UTC through the C library's
        // time zone, which looks at the zone file every time.
        ReadingHistory local;
        const double ns = feed(local, f, 0, kBatch, Qt::LocalTime);
        std::printf("append, batch of 10^4 stamped in local time instead of UTC: %.0f ns per reading\n", ns / kBatch);
    }
    std::printf("memory at 10^6 readings: %.2f bytes per reading held by the store, %.2f by the process (resident)\n",
                double(history.memoryBytes()) / double(history.size()),
                double(residentAfter - residentBefore) * 1024.0 / double(history.size()));

    measureRedraw(history, "10^6", TimeWindow::LastTenMinutes, "10 минут");
    measureRedraw(history, "10^6", TimeWindow::All, "Всё");
    measureCsv(history, "10^6");

    // A day of a 300 ms poll that reads every quantity each tick: 288,000 per series.
    const qint64 day = 86'400'000 / kPollMsecs * kQuantityCount;
    feed(history, f, fed, day);
    measureRedraw(history, "2.88 * 10^6", TimeWindow::All, "Всё");
    measureCsv(history, "2.88 * 10^6");

    // The same readings with the poll stopped for half an hour 143 times: every gap is
    // wider than a pixel column, so every line is drawn in 144 pieces.
    ReadingHistory broken;
    feed(broken, f, 0, day, Qt::UTC, day / 144 + 1, 1'800'000);
    measureRedraw(broken, "2.88 * 10^6 in 144 runs", TimeWindow::All, "Всё");
    return 0;
}
