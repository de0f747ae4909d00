// The meter mode against the simulated meter as its own process: the poll, the
// settings sequences and the address, with real reply windows.

#include "consoletestbench.h"
#include "erkdevice.h"
#include "meterfamily.h"
#include "readinghistory.h"
#include "readingthinning.h"
#include "simulatorprocess.h"
#include "virtualports.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace qldixw::testing;
using meter::Quantity;

namespace {

const char* const kReadingLabels[] = {"vv1", "vv2", "vv3", "aa1", "aa2", "aa3", "ww1", "ww2", "ww3"};
const int kReadingCodes[] = {0x91, 0x92, 0x93, 0xA1, 0xA2, 0xA3, 0x81, 0x82, 0x83};
const char* const kSettingFields[] = {"v_kor_edit1", "v_kor_edit2", "v_kor_edit3", "Edit4", "Edit5",
                                      "Edit6", "Edit7", "Edit8", "Edit9", "a_kor_edit1",
                                      "a_kor_edit2", "a_kor_edit3", "Edit1", "Edit2", "Edit3"};
const char* const kWriteCodes[] = {"31* ", "32* ", "33* ", "01* ", "02* ", "03* ", "11* ", "12* ",
                                   "13* ", "21 *", "22* ", "23* ", "51* ", "52* ", "53* "};

// What a label shows for a reading of the simulated meter: the digits of its display.
QString digitsOf(const QByteArray& display)
{
    QString digits;
    for (char c : display)
        if (c >= '0' && c <= '9')
            digits += QLatin1Char(c);
    return digits;
}

} // namespace

class TestMeterDevsim : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void pollTwoCycles();
    void pollOfAMeterThatFails_data();
    void pollOfAMeterThatFails();
    void writeAllThenReadAll();
    void refusedWrite();
    void addressChange();

private:
    void start(const QStringList& options);
    template <class T = QWidget>
    T* ctl(const char* name) { return bench_->control<T>(QString::fromLatin1(name)); }
    void click(const char* button) { QTest::mouseClick(ctl<QPushButton>(button), Qt::LeftButton); }
    // Clicks a button and waits until its reply window has ended.
    void press(const char* button);
    QStringList meterLog() const { return bench_->lines(QStringLiteral("Memo_log")); }

    std::unique_ptr<ConsoleTestBench> bench_;
    std::unique_ptr<SimulatorProcess> sim_;
};

void TestMeterDevsim::start(const QStringList& options)
{
    bench_ = std::make_unique<ConsoleTestBench>();
    sim_ = std::make_unique<SimulatorProcess>(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                                              QStringList{QStringLiteral("--family"), QStringLiteral("erk")} + options);
    QVERIFY(sim_->started());
    QVERIFY(bench_->openPort());
    bench_->selectMode(ModeERK2);
}

void TestMeterDevsim::cleanup()
{
    bench_.reset();
    sim_.reset();
}

void TestMeterDevsim::press(const char* button)
{
    click(button);
    QVERIFY2(bench_->line().busy(), button);
    QVERIFY(bench_->waitIdle(8000));
}

void TestMeterDevsim::pollTwoCycles()
{
    start({});
    const devsim::ErkDevice meter;
    auto* family = bench_->window().findChild<meter::MeterFamily*>();
    QVERIFY(family);

    // Each reading as it reaches its label, and every label's text and colour at the
    // end of each cycle.
    QList<std::pair<Quantity, QString>> shown;
    QList<QStringList> cycles;
    connect(family, &meter::MeterFamily::readingShown, this, [&](Quantity quantity, const QString& text, const QDateTime&) {
        shown.append({quantity, text});
        if (quantity != Quantity::W3)
            return;
        QStringList labels;
        for (const char* name : kReadingLabels) {
            const QLabel* label = ctl<QLabel>(name);
            const QColor colour = label->palette().color(QPalette::WindowText);
            labels << label->text() + (colour == QColor(0, 128, 0) ? "/green" : colour == QColor(255, 0, 0) ? "/red" : "/?");
        }
        cycles << labels;
    });

    click("read_all");
    QTRY_VERIFY_WITH_TIMEOUT(shown.size() >= 18, 30000);
    click("read_all");

    QStringList expected;
    std::uint64_t powerSum = 0;
    for (int i = 0; i < 9; ++i) {
        const QString digits = digitsOf(meter.reading(std::uint8_t(kReadingCodes[i])));
        QVERIFY(!digits.isEmpty());
        expected << digits;
        if (i >= 6)
            powerSum += digits.toULongLong();
    }
    for (int i = 0; i < 18; ++i) {
        QCOMPARE(int(shown[i].first), i % 9);
        QCOMPARE(shown[i].second, expected[i % 9]);
    }
    QCOMPARE(cycles.size(), 2);
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(cycles[0][i], expected[i] + QStringLiteral("/green"));
        QCOMPARE(cycles[1][i], expected[i] + QStringLiteral("/red"));
    }
    QCOMPARE(ctl<QLabel>("summ_wat")->text(), QString::number(powerSum));

    // The readings over time got every reading of both cycles, each in its own series,
    // as the meter sent it (220.51, not the label's 22051), and the sum of each cycle.
    const auto* history = family->findChild<meter::ReadingHistory*>();
    QVERIFY(history);
    std::vector<meter::ReadingValue> powers;
    for (int i = 0; i < 9; ++i) {
        const meter::ReadingValue sent = meter::ReadingValue::fromText(
            QString::fromLatin1(meter.reading(std::uint8_t(kReadingCodes[i]))));
        QVERIFY(sent.isNumber());
        if (i >= 6)
            powers.push_back(sent);
        QStringList values;
        for (auto at = history->series(Quantity(i)).cursor(); !at.atEnd(); at.next())
            values << at.reading().value.toText();
        QCOMPARE(values.mid(0, 2), (QStringList{sent.toText(), sent.toText()}));
    }
    QCOMPARE(history->series(Quantity::V1).cursor().reading().value.toText(), QStringLiteral("220.51"));
    QVERIFY(history->series(Quantity::Sum).size() >= 2);
    for (auto at = history->series(Quantity::Sum).cursor(); !at.atEnd(); at.next())
        QCOMPARE(at.reading().value, meter::ReadingValue::sum(powers));

    // Started again, the poll's readings are not joined to those before the stop.
    const qsizetype before = shown.size();
    click("read_all");
    QTRY_VERIFY_WITH_TIMEOUT(shown.size() >= before + 9, 30000);
    click("read_all");
    const meter::TimeRange all{history->earliest(), history->latest()};
    QCOMPARE(meter::thinnedLines(history->series(Quantity::V1), all, 1000).size(), 2);
    for (const QString& line : meterLog())
        QVERIFY2(line.startsWith(QStringLiteral("60 019")) || line.startsWith(QStringLiteral("60 01A"))
                     || line.startsWith(QStringLiteral("60 018")),
                 qPrintable(line));
}

void TestMeterDevsim::pollOfAMeterThatFails_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("failure");
    QTest::newRow("silent") << QStringList{"--silent"} << "TimeOut";
    QTest::newRow("bad checksums") << QStringList{"--bad-checksum"} << " CSM ERROR 8";
}

// Every request gets its failure line, the poll still goes through the quantities in
// turn, and no label shows anything but what it had.
void TestMeterDevsim::pollOfAMeterThatFails()
{
    QFETCH(QStringList, options);
    QFETCH(QString, failure);
    start(options);
    auto* family = bench_->window().findChild<meter::MeterFamily*>();
    int readings = 0;
    connect(family, &meter::MeterFamily::readingShown, this, [&] { ++readings; });

    click("read_all");
    QTRY_VERIFY_WITH_TIMEOUT(meterLog().count(failure) >= 5, 15000);
    click("read_all");
    QVERIFY(bench_->waitIdle());

    const QStringList log = meterLog();
    QStringList requests;
    for (int i = 0; i < log.size(); i += 2) {
        requests << log[i];
        QCOMPARE(log.value(i + 1), failure);
    }
    for (int i = 0; i < requests.size(); ++i)
        QCOMPARE(requests[i], QStringLiteral("60 01%1*").arg(kReadingCodes[i % 9], 2, 16, QLatin1Char('0')).toUpper());
    QCOMPARE(readings, 0);
    for (const char* name : kReadingLabels)
        QCOMPARE(ctl<QLabel>(name)->text(), QStringLiteral("0"));
    QCOMPARE(ctl<QLabel>("summ_wat")->text(), QString());
}

void TestMeterDevsim::writeAllThenReadAll()
{
    start({});
    // Limits the meter accepts in this order: lower ones below the upper ones it holds.
    const QStringList values = {"101", "102", "103", "180", "181", "182", "240", "241",
                                "242", "97",  "abc", "99",  "12",  "13",  "14"};
    for (int i = 0; i < 15; ++i)
        ctl<QLineEdit>(kSettingFields[i])->setText(values[i]);

    click("wr_kor_all");
    QVERIFY(!ctl("ERK2Panel")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(ctl("ERK2Panel")->isEnabled(), 30000);
    QVERIFY(!bench_->line().busy());

    QStringList expected;
    for (int i = 0; i < 15; ++i) {
        bool number = false;
        const int value = values[i].toInt(&number);
        if (!number) {
            expected << QStringLiteral("Коррекция тока, фаза 2: «abc» — не целое число от 0 до 65535, значение не записано");
            continue;
        }
        expected << QStringLiteral("60 01 %1%2*").arg(QString::fromLatin1(kWriteCodes[i])).arg(value, 4, 16, QLatin1Char('0')).toUpper()
                 << QStringLiteral("Записано верно");
    }
    QCOMPARE(meterLog(), expected);
    QCOMPARE(bench_->lines(QStringLiteral("Memo1")), QStringList(14, QStringLiteral("00")));

    for (const char* field : kSettingFields)
        ctl<QLineEdit>(field)->setText(QStringLiteral("x"));
    click("rd_kor_all");
    QVERIFY(!ctl("ERK2Panel")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(ctl("ERK2Panel")->isEnabled(), 30000);
    for (int i = 0; i < 15; ++i)
        QCOMPARE(ctl<QLineEdit>(kSettingFields[i])->text(), i == 10 ? QStringLiteral("100") : values[i]);
    QCOMPARE(meterLog().count(QStringLiteral("TimeOut")), 0);
}

void TestMeterDevsim::refusedWrite()
{
    start({QStringLiteral("--refuse-writes")});
    ctl<QLineEdit>("v_kor_edit1")->setText(QStringLiteral("120"));
    press("v_k1");
    QCOMPARE(meterLog(), (QStringList{"60 01 31* 0078*", "Ошибка при программировании"}));
    QCOMPARE(bench_->lines(QStringLiteral("Memo1")), QStringList{"FF"});
    press("readk_v1");
    QCOMPARE(ctl<QLineEdit>("v_kor_edit1")->text(), QStringLiteral("100"));
}

void TestMeterDevsim::addressChange()
{
    start({});
    ctl<QLineEdit>("edit_adr_zap")->setText(QStringLiteral("22"));
    press("Button3");
    QCOMPARE(meterLog().last(), QStringLiteral("Записано верно"));

    // The meter now answers on its new address only; the address read finds it.
    press("Button10");
    QCOMPARE(meterLog().last(), QStringLiteral("TimeOut"));
    ctl<QLineEdit>("edit_adr_zap")->clear();
    press("Button22");
    QCOMPARE(ctl<QLineEdit>("edit_adr_zap")->text(), QStringLiteral("22"));
    QCOMPARE(ctl<QComboBox>("kontroller")->currentText(), QStringLiteral("22"));
    ctl<QLineEdit>("Edit4")->clear();
    press("Button10");
    QCOMPARE(meterLog().last(), QStringLiteral("60 2205*"));
    QCOMPARE(ctl<QLineEdit>("Edit4")->text(), QStringLiteral("175"));
}

QTEST_MAIN(TestMeterDevsim)
#include "test_meterdevsim.moc"
