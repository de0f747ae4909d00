// The reading history without a window: the values as the meter sent them, the
// series against the simulated meter, the CSV, and what a chart is given to draw.

#include "erkdevice.h"
#include "frametext.h"
#include "meterreplies.h"
#include "powersums.h"
#include "readingcsv.h"
#include "readinghistory.h"
#include "readingthinning.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTest>

#include <ctime>

using namespace meter;

Q_DECLARE_METATYPE(meter::TimeWindow)

namespace {

// 2024-03-31 00:00:00 UTC: a night on which central Europe moves its clocks forward.
constexpr qint64 kNight = 1711843200000;

std::vector<StoredReading> readingsOf(const ReadingSeries& series)
{
    std::vector<StoredReading> all;
    for (ReadingSeries::Cursor c = series.cursor(); !c.atEnd(); c.next())
        all.push_back(c.reading());
    return all;
}

} // namespace

class TestReadingHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void valueKeepsTheLabelsText_data();
    void valueKeepsTheLabelsText();
    void quantityNames_data();
    void quantityNames();
    void seriesKeepsEveryReading_data();
    void seriesKeepsEveryReading();
    void threePollCyclesOfTheSimulatedMeter();
    void valueSums_data();
    void valueSums();
    void linesBreakWhereThePollStopped_data();
    void linesBreakWhereThePollStopped();
    void csvLines();
    void isoTimeMatchesQt_data();
    void isoTimeMatchesQt();
    void windowChoiceLimitsWhatIsDrawn_data();
    void windowChoiceLimitsWhatIsDrawn();
};

void TestReadingHistory::initTestCase()
{
    // A zone with summer time, written out so no zone database is needed: the CSV's
    // offsets must follow the change of the clocks.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    QCOMPARE_NE(QDateTime::fromMSecsSinceEpoch(kNight).offsetFromUtc(),
                QDateTime::fromMSecsSinceEpoch(kNight + 2 * 3'600'000).offsetFromUtc());
}

void TestReadingHistory::valueKeepsTheLabelsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("saved"); // empty: not a number
    QTest::addColumn<double>("drawn");

    QTest::newRow("digits of a voltage") << "22051" << "22051" << 22051.0;
    QTest::newRow("blanks and a point") << "  220.51 " << "220.51" << 220.51;
    QTest::newRow("trailing zero kept") << "5.120" << "5.120" << 5.12;
    QTest::newRow("negative fraction") << "-0.5" << "-0.5" << -0.5;
    QTest::newRow("plus sign") << "+7" << "7" << 7.0;
    QTest::newRow("no whole part") << ".25" << "0.25" << 0.25;
    QTest::newRow("largest whole") << "134217727" << "134217727" << 134217727.0;
    QTest::newRow("whole too large") << "134217728" << "" << 0.0;
    QTest::newRow("decimals rounded off") << "1.2345678949" << "1.23456789" << 1.23456789;
    QTest::newRow("rounding carries") << "0.99999999999" << "1.00000000" << 1.0;
    QTest::newRow("empty label") << "" << "" << 0.0;
    QTest::newRow("blanks only") << "   " << "" << 0.0;
    QTest::newRow("sign only") << "-" << "" << 0.0;
    QTest::newRow("point only") << "." << "" << 0.0;
    QTest::newRow("letters") << "12a" << "" << 0.0;
    QTest::newRow("two points") << "1.2.3" << "" << 0.0;
    QTest::newRow("decimal comma") << "1,5" << "" << 0.0;
    QTest::newRow("full-width digits") << QStringLiteral("１２") << "" << 0.0;
}

void TestReadingHistory::valueKeepsTheLabelsText()
{
    QFETCH(QString, text);
    QFETCH(QString, saved);
    QFETCH(double, drawn);
    const ReadingValue value = ReadingValue::fromText(text);
    QCOMPARE(value.isNumber(), !saved.isEmpty());
    QCOMPARE(value.toText(), saved);
    if (value.isNumber())
        QCOMPARE(value.toDouble(), drawn);
}

void TestReadingHistory::quantityNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("quantity"); // -1: none

    QTest::newRow("V1") << "V1" << int(Quantity::V1);
    QTest::newRow("current, Cyrillic A") << QStringLiteral("А2") << int(Quantity::A2);
    QTest::newRow("current, Latin A") << "A3" << int(Quantity::A3);
    QTest::newRow("power as its row writes it") << "w3" << int(Quantity::W3);
    QTest::newRow("sum") << QStringLiteral("Сумма") << int(Quantity::Sum);
    QTest::newRow("sum's label") << "summ_wat" << int(Quantity::Sum);
    QTest::newRow("voltage's label") << "vv2" << int(Quantity::V2);
    QTest::newRow("no fourth phase") << "V4" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestReadingHistory::quantityNames()
{
    QFETCH(QString, name);
    QFETCH(int, quantity);
    const std::optional<Quantity> found = quantityFromName(name);
    QCOMPARE(found ? int(*found) : -1, quantity);
    if (found)
        QCOMPARE(quantityFromName(quantityName(*found)), found);
}

void TestReadingHistory::seriesKeepsEveryReading_data()
{
    QTest::addColumn<QList<qint64>>("times");

    QList<qint64> steady;
    for (qint64 i = 0; i < 3 * qint64(ReadingSeries::kChunkCapacity) + 5; ++i)
        steady.append(kNight + 300 * i);
    QTest::newRow("three chunks and more") << steady;
    QTest::newRow("clock set back") << QList<qint64>{kNight, kNight + 1000, kNight - 5000, kNight + 2000};
    const qint64 day = 86'400'000;
    QTest::newRow("30 days apart") << QList<qint64>{kNight, kNight + 30 * day, kNight + 30 * day + 1, kNight - 30 * day};
}

void TestReadingHistory::seriesKeepsEveryReading()
{
    QFETCH(QList<qint64>, times);
    ReadingSeries series;
    for (qsizetype i = 0; i < times.size(); ++i)
        series.append(times[i], ReadingValue::fromDecimal(std::int32_t(i % 1000), 1));

    const std::vector<StoredReading> kept = readingsOf(series);
    QCOMPARE(qsizetype(kept.size()), times.size());
    for (qsizetype i = 0; i < times.size(); ++i) {
        QCOMPARE(kept[std::size_t(i)].msecs, times[i]);
        QCOMPARE(kept[std::size_t(i)].value, ReadingValue::fromDecimal(std::int32_t(i % 1000), 1));
    }
    QCOMPARE(series.earliest(), *std::min_element(times.begin(), times.end()));
    QCOMPARE(series.latest(), *std::max_element(times.begin(), times.end()));

    // Every reading is found by its own time, whichever chunk holds it.
    for (const qint64 t : times) {
        int found = 0;
        series.visitBetween(t, t, [&](qint64 msecs, ReadingValue) { found += msecs == t; });
        QCOMPARE(found, int(std::count(times.begin(), times.end(), t)));
    }
}

// Three cycles of the poll against the simulated meter, each reply decoded and summed
// as the family does it: the history keeps the readings as the meter sent them, the
// sum only of a cycle whose three powers all came, and the poll stopped and started
// again before the third cycle breaks every line there.
void TestReadingHistory::threePollCyclesOfTheSimulatedMeter()
{
    devsim::ErkDevice device(0x01);
    ReadingHistory history;
    PowerSums sums;
    qint64 now = kNight;
    QStringList labelSums;
    for (int cycle = 0; cycle < 3; ++cycle) {
        if (cycle == 2) {
            history.breakSeries();
            sums.restart();
        }
        for (const QuantityInfo& info : kQuantities) {
            now += 300;
            sums.asked(info.quantity);
            const auto request = transport::frameTextToBytes(QStringLiteral("60 01%1*").arg(info.code, 2, 16));
            QVERIFY(request);
            const QList<QByteArray> replies = device.receive(request->bytes, now);
            QCOMPARE(replies.size(), 1);
            // The last cycle's W2 gets no answer.
            if (cycle == 2 && info.quantity == Quantity::W2)
                continue;
            const QByteArray& bytes = replies.front();
            const MeterReply reply = decodeReply(
                std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())), info.code);
            QVERIFY(reply.reading);
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(now);
            history.add(reply.reading->quantity, at, reply.reading->value);
            const PowerSums::Sums sum = sums.add(*reply.reading);
            if (sum.label)
                labelSums << *sum.label;
            if (sum.ofCycle)
                history.add(Quantity::Sum, at, *sum.ofCycle);
        }
    }

    QCOMPARE(history.series(Quantity::V1).cursor().reading().value.toText(), QStringLiteral("220.51"));
    for (int phase = 1; phase <= 3; ++phase) {
        const std::array<std::pair<Quantity, ReadingValue>, 3> expected{{
            {Quantity(int(Quantity::V1) + phase - 1), ReadingValue::fromDecimal(std::int32_t(device.voltage(phase)), 2)},
            {Quantity(int(Quantity::A1) + phase - 1), ReadingValue::fromDecimal(std::int32_t(device.current(phase)), 3)},
            {Quantity(int(Quantity::W1) + phase - 1), ReadingValue::fromDecimal(std::int32_t(device.power(phase)), 0)},
        }};
        for (const auto& [quantity, value] : expected) {
            const std::vector<StoredReading> kept = readingsOf(history.series(quantity));
            QCOMPARE(kept.size(), std::size_t(quantity == Quantity::W2 ? 2 : 3));
            for (const StoredReading& r : kept)
                QCOMPARE(r.value, value);
        }
    }
    const std::uint32_t total = device.power(1) + device.power(2) + device.power(3);
    const std::vector<StoredReading> cycleSums = readingsOf(history.series(Quantity::Sum));
    QCOMPARE(cycleSums.size(), std::size_t(2));
    for (const StoredReading& r : cycleSums)
        QCOMPARE(r.value, ReadingValue::fromDecimal(std::int32_t(total), 0));
    // The panel's sum follows its labels after every power, the previous W2 included.
    QCOMPARE(labelSums.size(), 8);
    QCOMPARE(labelSums.last(), QString::number(total));

    const TimeRange all{kNight, now};
    QCOMPARE(thinnedLines(history.series(Quantity::V1), all, 1000).size(), 2);
    QCOMPARE(thinnedLines(history.series(Quantity::Sum), all, 1000).size(), 1);
}

void TestReadingHistory::valueSums_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("sum"); // empty: not a number

    QTest::newRow("the most decimals") << QStringList{"1.5", "2", "0.25"} << "3.75";
    QTest::newRow("signs") << QStringList{"-1.25", "0.5", "+0.75"} << "0.00";
    QTest::newRow("whole part too large") << QStringList{"134217727", "1"} << "";
    // Two decimals would not fit the mantissa, one would round to one too many: none.
    QTest::newRow("decimals given up") << QStringList{"13421772.7", "0.05"} << "13421773";
    QTest::newRow("one no number") << QStringList{"1", "", "2"} << "";
}

void TestReadingHistory::valueSums()
{
    QFETCH(QStringList, values);
    QFETCH(QString, sum);
    std::vector<ReadingValue> parsed;
    for (const QString& text : values)
        parsed.push_back(ReadingValue::fromText(text));
    QCOMPARE(ReadingValue::sum(parsed).toText(), sum);
}

// Readings one a second with values 0, 1, 2, ... ("x": no number); a stop of the poll
// before each reading listed in 'breaks' (twice where listed twice).
void TestReadingHistory::linesBreakWhereThePollStopped_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QList<int>>("breaks");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QList<int>>("lines"); // the points of each line drawn

    const QStringList six{"0", "1", "2", "3", "4", "5"};
    QTest::newRow("no stop") << six << QList<int>{} << 100 << QList<int>{6};
    QTest::newRow("one stop") << six << QList<int>{3} << 100 << QList<int>{3, 3};
    QTest::newRow("stops before the first reading and twice in a row") << six << QList<int>{0, 3, 3} << 100
                                                                      << QList<int>{3, 3};
    QTest::newRow("a run without numbers draws nothing") << QStringList{"0", "1", "x", "x", "4", "5"}
                                                         << QList<int>{2, 4} << 100 << QList<int>{2, 2};
    // A gap within one column cannot be seen: one line, its lowest and highest reading.
    QTest::newRow("a gap narrower than a column") << six << QList<int>{3} << 1 << QList<int>{2};
    QTest::newRow("runs in neighbouring columns") << six << QList<int>{3} << 6 << QList<int>{3, 3};
}

void TestReadingHistory::linesBreakWhereThePollStopped()
{
    QFETCH(QStringList, values);
    QFETCH(QList<int>, breaks);
    QFETCH(int, columns);
    QFETCH(QList<int>, lines);
    ReadingSeries series;
    for (qsizetype i = 0; i < values.size(); ++i) {
        for (int b = 0; b < breaks.count(int(i)); ++b)
            series.breakHere();
        series.append(kNight + 1000 * i, ReadingValue::fromText(values[i]));
    }
    const QList<QList<QPointF>> drawn = thinnedLines(series, TimeRange{kNight, kNight + 1000 * values.size()}, columns);
    QList<int> sizes;
    for (qsizetype i = 0; i < drawn.size(); ++i) {
        sizes << int(drawn[i].size());
        // Every line lies before the next one begins.
        if (i > 0)
            QVERIFY(drawn[i - 1].last().x() < drawn[i].first().x());
    }
    QCOMPARE(sizes, lines);
}

void TestReadingHistory::csvLines()
{
    ReadingHistory history;
    const auto at = [](qint64 msecs) { return QDateTime::fromMSecsSinceEpoch(msecs); };
    // Fed out of the order of time, across the change to summer time at 01:00 UTC.
    history.add(Quantity::W1, at(kNight + 3'600'000 + 7), QStringLiteral("1129"));
    history.add(Quantity::Sum, at(kNight + 3'600'000 + 7), QStringLiteral("1129"));
    history.add(Quantity::V1, at(kNight + 59 * 60'000 + 59'999), QStringLiteral("220.51"));
    history.add(Quantity::V2, at(kNight + 3'600'000 + 7), QString());
    history.add(Quantity::A3, at(kNight + 3'600'000 + 300), QStringLiteral("5.120"));
    history.addShown(QStringLiteral("нет такой"), QStringLiteral("1"), at(kNight));

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(writeReadingsCsv(history, out));
    const QStringList lines = QString::fromUtf8(out.data()).split(u'\n');
    const QStringList expected{
        "time,quantity,value,unit",
        "2024-03-31T01:59:59.999+01:00,V1,220.51,V",
        "2024-03-31T03:00:00.007+02:00,V2,,V",
        "2024-03-31T03:00:00.007+02:00,W1,1129,W",
        QStringLiteral("2024-03-31T03:00:00.007+02:00,Сумма,1129,W"),
        "2024-03-31T03:00:00.300+02:00,A3,5.120,A",
        "",
    };
    QCOMPARE(lines, expected);
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QString time = lines[i].section(u',', 0, 0);
        QVERIFY(QDateTime::fromString(time, Qt::ISODateWithMs).isValid());
    }
}

void TestReadingHistory::isoTimeMatchesQt_data()
{
    QTest::addColumn<qint64>("msecs");
    QTest::addColumn<int>("offset");

    QTest::newRow("summer night, +02:00") << kNight + 3'600'000 << 7200;
    QTest::newRow("leap day, -03:30") << qint64(1709215199123) << -(3 * 3600 + 1800);
    QTest::newRow("new year, +05:45") << qint64(1704047399999) << 5 * 3600 + 2700;
    QTest::newRow("before 1970, +01:00") << qint64(-86'400'001) << 3600;
    QTest::newRow("year 2100, -10:00") << qint64(4102444800000) << -36000;
}

void TestReadingHistory::isoTimeMatchesQt()
{
    QFETCH(qint64, msecs);
    QFETCH(int, offset);
    const QString qt = QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, offset)
                           .toString(Qt::ISODateWithMs);
    QCOMPARE(isoTimeText(msecs, offset), qt);
}

void TestReadingHistory::windowChoiceLimitsWhatIsDrawn_data()
{
    QTest::addColumn<TimeWindow>("window");
    QTest::addColumn<int>("columns");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<int>("readingsShown");

    // Two hours of readings, one a second, ending an hour after kNight.
    const qint64 end = kNight + 3'600'000;
    for (const int columns : {100'000, 200}) {
        const QByteArray tag = columns > 1000 ? "every reading" : "thinned";
        QTest::addRow("last minute, %s", tag.data()) << TimeWindow::LastMinute << columns << end - 60'000 << 61;
        QTest::addRow("10 minutes, %s", tag.data()) << TimeWindow::LastTenMinutes << columns << end - 600'000 << 601;
        QTest::addRow("hour, %s", tag.data()) << TimeWindow::LastHour << columns << end - 3'600'000 << 3601;
        QTest::addRow("all, %s", tag.data()) << TimeWindow::All << columns << end - 7'199'000 << 7200;
    }
}

void TestReadingHistory::windowChoiceLimitsWhatIsDrawn()
{
    QFETCH(TimeWindow, window);
    QFETCH(int, columns);
    QFETCH(qint64, from);
    QFETCH(int, readingsShown);

    const qint64 end = kNight + 3'600'000;
    ReadingSeries series;
    // A saw tooth with one spike and one dip in the last minute, and every 7th reading
    // no number.
    const qint64 spikeAt = end - 20'000;
    const qint64 dipAt = end - 40'000;
    for (qint64 t = end - 7'199'000; t <= end; t += 1000) {
        const qint64 i = (t - kNight) / 1000;
        const QString text = t == spikeAt ? QStringLiteral("900")
            : t == dipAt                  ? QStringLiteral("-900")
            : i % 7 == 0                  ? QStringLiteral("---")
                                          : QString::number(i % 100);
        series.append(t, ReadingValue::fromText(text));
    }

    const TimeRange range = windowRange(window, series.earliest(), end);
    QCOMPARE(range, (TimeRange{from, end}));
    const QList<QList<QPointF>> lines = thinnedLines(series, range, columns);
    QCOMPARE(lines.size(), 1);
    const QList<QPointF> points = lines.front();

    int numbersInRange = 0;
    series.visitBetween(range.from, range.to, [&](qint64, ReadingValue v) { numbersInRange += v.isNumber(); });
    QVERIFY(numbersInRange < readingsShown);
    QVERIFY(numbersInRange > readingsShown * 5 / 7);
    if (numbersInRange <= columns)
        QCOMPARE(points.size(), numbersInRange);
    else
        QVERIFY(points.size() <= 2 * columns);

    double low = 1e9, high = -1e9;
    for (qsizetype i = 0; i < points.size(); ++i) {
        QVERIFY(points[i].x() >= double(range.from) && points[i].x() <= double(range.to));
        if (i > 0)
            QVERIFY(points[i].x() >= points[i - 1].x());
        low = std::min(low, points[i].y());
        high = std::max(high, points[i].y());
    }
    // The spike and the dip stay, however thin the drawing.
    QCOMPARE(high, 900.0);
    QCOMPARE(low, -900.0);
}

QTEST_GUILESS_MAIN(TestReadingHistory)
#include "test_readinghistory.moc"
