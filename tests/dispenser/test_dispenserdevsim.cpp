// One working session against the simulated controller: the program on the offscreen
// screen, the simulator as a separate process on a pseudo-terminal, real reply windows.

#include "consoletestbench.h"
#include "simulatorprocess.h"
#include "virtualports.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace qldixw::testing;

class TestDispenserDevsim : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void session();

private:
    mainwindow::TForm1& w() { return bench_->window(); }
    // Clicks a button and waits until its reply (and any follow-up's) has been handled.
    void press(QPushButton* button);
    QString lastLine() const { return withoutTimeStamp(bench_->consoleLines().last()); }

    std::unique_ptr<ConsoleTestBench> bench_;
    std::unique_ptr<SimulatorProcess> sim_;
};

void TestDispenserDevsim::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    // The simulator takes the place of the bench's own device as COM9.
    sim_ = std::make_unique<SimulatorProcess>(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                                              QStringList{QStringLiteral("--family"), QStringLiteral("dix")});
    QVERIFY(sim_->started());
    QVERIFY(bench_->openPort());
}

void TestDispenserDevsim::cleanup()
{
    bench_.reset();
    sim_.reset();
}

void TestDispenserDevsim::press(QPushButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(bench_->line().busy());
    QVERIFY(bench_->waitIdle(8000));
}

void TestDispenserDevsim::session()
{
    press(bench_->control<QPushButton>("ActivirovatButton"));
    QCOMPARE(lastLine(), QStringLiteral("PC<-  00 Успешно"));

    // 12.34 litres, typed into the volume pop-up.
    QTest::mouseClick(bench_->control<QPushButton>("OtpLitrButton"), Qt::LeftButton);
    QVERIFY(bench_->control<QWidget>("OtpLitrPanel1")->isVisible());
    QTest::keyClicks(bench_->control<QLineEdit>("litri"), QStringLiteral("1234"));
    QCOMPARE(bench_->control<QLineEdit>("litri")->text(), QStringLiteral("000012,340"));
    press(bench_->control<QPushButton>("OtpLitr"));
    QCOMPARE(lastLine(), QStringLiteral("PC<-  00 Успешно"));

    // Delivered at once: the order is done.
    press(bench_->control<QPushButton>("StatusButton"));
    QCOMPARE(bench_->control<QLineEdit>("Danstat")->text(), QStringLiteral("00 12 34"));
    QCOMPARE(bench_->control<QLineEdit>("StatSost")->text(), QStringLiteral("04"));

    // At the hose's starting price of 45,67 р. a litre.
    press(bench_->control<QPushButton>("SumChitButton"));
    QVERIFY(bench_->control<QWidget>("SummarnikiPanel")->isVisible());
    QCOMPARE(bench_->control<QLabel>("NeflitrSum")->text(), QStringLiteral("00000012,34"));
    QCOMPARE(bench_->control<QLabel>("flitrSum")->text(), QStringLiteral("000012,34"));
    QCOMPARE(bench_->control<QLabel>("NefDenSum")->text(), QStringLiteral("000563,57"));

    // The reset is acknowledged and the totalisers are read again at once.
    bench_->control<QLabel>("NeflitrSum")->clear();
    press(bench_->control<QPushButton>("ObnulSumButton"));
    const QStringList log = bench_->consoleLines();
    QCOMPARE(withoutTimeStamp(log.at(log.size() - 3)), QStringLiteral("PC<-  00 Успешно"));
    QCOMPARE(withoutTimeStamp(log.at(log.size() - 2)), QStringLiteral("PC->  60 01 71 1A"));
    QCOMPARE(bench_->control<QLabel>("NeflitrSum")->text(), QStringLiteral("00000000,00"));
    QCOMPARE(bench_->control<QLabel>("NefDenSum")->text(), QStringLiteral("000000,00"));
    QVERIFY(bench_->control<QWidget>("SummarnikiPanel")->isVisible());

    // The version text comes in the long window after the lone 31.
    const qsizetype before = bench_->consoleLines().size();
    press(bench_->control<QPushButton>("VersiaButton"));
    const QStringList version = bench_->consoleLines().mid(before);
    QVERIFY(version.size() >= 7);
    QCOMPARE(version.at(0), QStringLiteral("Версия"));
    QCOMPARE(withoutTimeStamp(version.at(1)), QStringLiteral("PC->  60 01 00 F8"));
    QCOMPARE(withoutTimeStamp(version.at(2)), QStringLiteral("PC->  30"));
    QCOMPARE(withoutTimeStamp(version.at(3)), QStringLiteral("PC<-  06"));
    QCOMPARE(withoutTimeStamp(version.at(4)), QStringLiteral("PC->  31"));
    const QStringList text = version.mid(5);
    QVERIFY(text.contains(QStringLiteral("| Версия ПО 3.12, сборка 0417")));
    QCOMPARE(text.first(), QString(28, u'-'));
    QCOMPARE(bench_->line().replyWindow(), 200);
}

QTEST_MAIN(TestDispenserDevsim)
#include "test_dispenserdevsim.moc"
