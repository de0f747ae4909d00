// The dispenser mode in the whole program: the menu's buttons put their frames on a
// pseudo-terminal, the test answers as the controller, the window shows the replies.

#include "consoletestbench.h"
#include "frametext.h"
#include "requesttexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace qldixw::testing;

namespace {

QString hexOf(const std::string& bytes)
{
    return transport::byteText(QByteArray::fromStdString(bytes)).trimmed();
}

std::string bytes(const QString& hex)
{
    return QByteArray::fromHex(hex.toLatin1()).toStdString();
}

QStringList withoutTimeStamps(const QStringList& lines)
{
    QStringList out;
    for (const QString& line : lines)
        out << withoutTimeStamp(line);
    return out;
}

// The visible large panels and pop-ups, as a compact text.
QString visiblePanels(mainwindow::TForm1& w)
{
    QStringList shown;
    const std::pair<const char*, const char*> panels[] = {
        {"Rab", "RabPanel"},        {"Meny", "MenyPanel"}, {"Sum", "OtprSumPanel1"},
        {"Litr", "OtpLitrPanel1"},  {"Price", "SumPanel"}, {"Totals", "SummarnikiPanel"},
    };
    for (const auto& [shortName, name] : panels)
        if (w.findChild<QWidget*>(QString::fromLatin1(name))->isVisibleTo(&w))
            shown << QString::fromLatin1(shortName);
    return shown.join(u' ');
}

} // namespace

class TestDispenserWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menuButtons_data();
    void menuButtons();
    void replies_data();
    void replies();
    void versionExchange_data();
    void versionExchange();
    void requestWhileBusyChangesNothing();
    void hoseOutOfRange_data();
    void hoseOutOfRange();
    void popups_data();
    void popups();
    void priceReadWithoutController();
    void closedPortSaysSo_data();
    void closedPortSaysSo();

private:
    mainwindow::TForm1& w() { return bench_->window(); }
    QLineEdit* field(const char* name) { return bench_->control<QLineEdit>(QString::fromLatin1(name)); }
    QLabel* label(const char* name) { return bench_->control<QLabel>(QString::fromLatin1(name)); }
    void click(const QString& button);
    // Ends the reply window once `count` bytes have arrived, without waiting it out.
    bool endWindow(int count);
    QString received(const QString& expectedHex);

    std::unique_ptr<ConsoleTestBench> bench_;
};

void TestDispenserWindow::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    QVERIFY(bench_->openPort());
}

void TestDispenserWindow::cleanup()
{
    bench_.reset();
}

void TestDispenserWindow::click(const QString& button)
{
    auto* b = w().findChild<QPushButton*>(button);
    QVERIFY2(b, qPrintable(button));
    QVERIFY2(b->isVisibleTo(&w()), qPrintable(button));
    QTest::mouseClick(b, Qt::LeftButton);
}

bool TestDispenserWindow::endWindow(int count)
{
    if (!QTest::qWaitFor([&] { return bench_->line().receivedByteCount() == count; }, 3000))
        return false;
    bench_->line().readportandobrabotka();
    return true;
}

// What the device got, read for as many bytes as expected.
QString TestDispenserWindow::received(const QString& expectedHex)
{
    return hexOf(bench_->device().receive(bytes(expectedHex).size()));
}

void TestDispenserWindow::menuButtons_data()
{
    QTest::addColumn<QString>("opener"); // the button that opens the pop-up holding the button
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("wire");

    const auto row = [](const char* opener, const char* button, const char* text, const char* wire) {
        QTest::newRow(button) << QString::fromLatin1(opener) << QString::fromLatin1(button) << QString::fromLatin1(text)
                              << QString::fromLatin1(wire);
    };
    row("", "ActivirovatButton", "60 01 11 * 01 13 55 55 55 55 55*", "60 01 11 DA 01 13 55 55 55 55 55 11");
    row("", "OstanovitButton", "60 01 11 * 01 0E 55 55 55 55 55*", "60 01 11 DA 01 0E 55 55 55 55 55 56");
    row("", "ProdolzitButton", "60 01 11 * 01 0A 55 55 55 55 55*", "60 01 11 DA 01 0A 55 55 55 55 55 57");
    row("", "Button1", "60 01 11 * 01 0B 55 55 55 55 55*", "60 01 11 DA 01 0B 55 55 55 55 55 17");
    row("", "PassivizirButton", "60 01 11 * 01 03 55 55 55 55 55*", "60 01 11 DA 01 03 55 55 55 55 55 15");
    row("", "VersiaButton", "60 01 00 * 30", "60 01 00 F8 30");
    row("", "StatusButton", "60 01 81 *", "60 01 81 FB");
    row("", "VklKlapButton", "60 01 11 * 01 02 55 55 55 55 55*", "60 01 11 DA 01 02 55 55 55 55 55 55");
    row("", "ViklKlapButton", "60 01 11 * 01 0D 55 55 55 55 55*", "60 01 11 DA 01 0D 55 55 55 55 55 96");
    row("", "SumLitrChitButton", "60 01 59*", "60 01 59 4A");
    row("", "SumChitButton", "60 01 71 *", "60 01 71 1A");
    row("", "ObnulSumButton", "60 01 79*", "60 01 79 0A");
    row("OtpLitrButton", "OtpLitr", "60 01 11 * 01 01 00 00001234 *", "60 01 11 DA 01 01 00 00 00 12 34 1F");
    row("OtpSumButton", "OtprSum", "60 01 11 * 01 11 00 00015000 *", "60 01 11 DA 01 11 00 00 01 50 00 72");
    row("SumLitrZadatButton", "zadatsumPanel", "60 01 51* 01 00 00 45 67 00 00 *", "60 01 51 5A 01 00 00 45 67 00 00 10");
}

void TestDispenserWindow::menuButtons()
{
    QFETCH(QString, opener);
    QFETCH(QString, button);
    QFETCH(QString, text);
    QFETCH(QString, wire);

    field("litri")->setText(QStringLiteral("000012,340"));
    field("Stoimost")->setText(QStringLiteral("00150,00 р."));
    field("stoimlitr")->setText(QStringLiteral("45,67 р."));
    if (!opener.isEmpty())
        click(opener);
    click(button);

    QCOMPARE(received(wire), wire);
    QCOMPARE(field("otpravedit")->text(), text);
    QVERIFY(bench_->line().busy());
    const QStringList log = withoutTimeStamps(bench_->consoleLines());
    QVERIFY(!log.isEmpty());
    QCOMPARE(log.first(), button == u"VersiaButton" ? QStringLiteral("Версия") : QStringLiteral("PC->  ") + wire.left(11));
}

void TestDispenserWindow::replies_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("followUp"); // what the reply makes the program send, or empty
    QTest::addColumn<QString>("reply2");   // the device's answer to that
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("visible");
    QTest::addColumn<QStringList>("fields"); // Danstat, StatSost, stoimlitr, the three totalisers

    const QString totals = QStringLiteral("01 00 01 23 45 67 00 12 34 56 00 98 76 54 00 2C");
    const QString status = QStringLiteral("01 81 00 12 34 56 07 C8");
    const QString price = QStringLiteral("01 59 00 45 67 00 00 46");
    const QStringList totalsShown = {"00 00 00", "00", "00,00 р.", "00012345,67", "001234,56", "009876,54"};

    QTest::newRow("status") << "StatusButton" << status << "" << ""
                            << QStringList{"PC->  60 01 81 FB", "PC<-  " + status} << "Rab Meny"
                            << QStringList{"12 34 56", "07", "00,00 р.", "", "", ""};
    QTest::newRow("price read") << "SumLitrChitButton" << price << "" << ""
                                << QStringList{"PC->  60 01 59 4A", "PC<-  " + price} << "Rab Meny Price"
                                << QStringList{"00 00 00", "00", "45,67 р.", "", "", ""};
    QTest::newRow("totaliser read") << "SumChitButton" << totals << "" << ""
                                    << QStringList{"PC->  60 01 71 1A", "PC<-  " + totals} << "Rab Meny Totals"
                                    << totalsShown;
    QTest::newRow("reset acknowledged, totalisers follow")
        << "ObnulSumButton" << "00" << "60 01 71 1A" << totals
        << QStringList{"PC->  60 01 79 0A", "PC<-  00 Успешно", "PC->  60 01 71 1A", "PC<-  " + totals}
        << "Rab Meny Totals" << totalsShown;
    QTest::newRow("totalisers of another length, price follows")
        << "SumChitButton" << status << "60 01 59 4A" << price
        << QStringList{"PC->  60 01 71 1A", "PC->  60 01 59 4A", "PC<-  " + status, "PC<-  " + price}
        << "Rab Meny Price" << QStringList{"00 00 00", "00", "45,67 р.", "", "", ""};
}

void TestDispenserWindow::replies()
{
    QFETCH(QString, button);
    QFETCH(QString, reply);
    QFETCH(QString, followUp);
    QFETCH(QString, reply2);
    QFETCH(QStringList, log);
    QFETCH(QString, visible);
    QFETCH(QStringList, fields);

    click(button);
    QVERIFY(bench_->device().receive(64, std::chrono::milliseconds(100)).size() > 0);
    QVERIFY(bench_->device().send(bytes(reply)));
    QVERIFY(endWindow(int(bytes(reply).size())));
    if (!followUp.isEmpty()) {
        QCOMPARE(received(followUp), followUp);
        QVERIFY(bench_->line().busy());
        QVERIFY(bench_->device().send(bytes(reply2)));
        QVERIFY(endWindow(int(bytes(reply2).size())));
    }
    QVERIFY(!bench_->line().busy());
    QCOMPARE(withoutTimeStamps(bench_->consoleLines()), log);
    QCOMPARE(visiblePanels(w()), visible);
    QCOMPARE((QStringList{field("Danstat")->text(), field("StatSost")->text(), field("stoimlitr")->text(),
                          label("NeflitrSum")->text(), label("flitrSum")->text(), label("NefDenSum")->text()}),
             fields);
}

void TestDispenserWindow::versionExchange_data()
{
    QTest::addColumn<bool>("proteus");
    QTest::addColumn<int>("windowAfter");
    QTest::newRow("plain") << false << 200;
    QTest::newRow("Протеус") << true << 2000;
}

void TestDispenserWindow::versionExchange()
{
    QFETCH(bool, proteus);
    QFETCH(int, windowAfter);
    bench_->control<QCheckBox>("proteus_check")->setChecked(proteus);

    click(QStringLiteral("VersiaButton"));
    QCOMPARE(received(QStringLiteral("60 01 00 F8 30")), QStringLiteral("60 01 00 F8 30"));
    QVERIFY(bench_->device().send(bytes(QStringLiteral("06"))));
    QVERIFY(endWindow(1));
    QCOMPARE(received(QStringLiteral("31")), QStringLiteral("31"));
    // The text gets the long window, whatever "Протеус" says.
    QVERIFY(bench_->line().busy());
    QCOMPARE(bench_->line().replyWindow(), 5000);

    QVERIFY(bench_->device().send(bytes(QStringLiteral("82 A5 E0 E1 A8 EF 0D 0A 20 BA 41 0D 0A 42 55"))));
    QVERIFY(endWindow(15));
    QCOMPARE(bench_->line().replyWindow(), windowAfter);
    QCOMPARE(withoutTimeStamps(bench_->consoleLines()),
             (QStringList{"Версия", "PC->  60 01 00 F8", "PC->  30", "PC<-  06", "PC->  31", "Версия", "|A"}));
}

void TestDispenserWindow::requestWhileBusyChangesNothing()
{
    click(QStringLiteral("StatusButton"));
    QCOMPARE(received(QStringLiteral("60 01 81 FB")), QStringLiteral("60 01 81 FB"));
    // Requests made while the status reply is awaited are refused whole: they must not
    // change how that reply is read.
    click(QStringLiteral("SumChitButton"));
    click(QStringLiteral("VersiaButton"));
    click(QStringLiteral("ObnulSumButton"));
    QCOMPARE(field("otpravedit")->text(), QStringLiteral("60 01 81 *"));

    QVERIFY(bench_->device().send(bytes(QStringLiteral("01 81 00 12 34 56 07 C8"))));
    QVERIFY(endWindow(8));
    QCOMPARE(field("Danstat")->text(), QStringLiteral("12 34 56"));
    QCOMPARE(withoutTimeStamps(bench_->consoleLines()),
             (QStringList{"PC->  60 01 81 FB", "PC<-  01 81 00 12 34 56 07 C8"}));
    QTest::qWait(20);
    QCOMPARE(bench_->device().receiveAvailable(), std::string());
}

void TestDispenserWindow::hoseOutOfRange_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("hose");
    QTest::newRow("price read, hose 8") << "SumLitrChitButton" << "8";
    QTest::newRow("reset, no hose") << "ObnulSumButton" << "";
}

void TestDispenserWindow::hoseOutOfRange()
{
    QFETCH(QString, button);
    QFETCH(QString, hose);
    bench_->control<QComboBox>("trkedit")->setEditText(hose);
    click(button);
    QVERIFY(!bench_->line().busy());
    QCOMPARE(bench_->consoleLines(), QStringList{dispenser::hoseOutOfRangeLine(hose)});
    QVERIFY(field("otpravedit")->text().isEmpty());
    QTest::qWait(20);
    QCOMPARE(bench_->device().receiveAvailable(), std::string());
}

void TestDispenserWindow::popups_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("visible");
    QTest::addColumn<QString>("placed");

    QTest::newRow("volume") << QStringList{"OtpLitrButton"} << "Rab Meny Litr" << "OtpLitrPanel1";
    QTest::newRow("volume, then money") << QStringList{"OtpLitrButton", "OtpSumButton"} << "Rab Meny Sum"
                                        << "OtprSumPanel1";
    QTest::newRow("money, then volume") << QStringList{"OtpSumButton", "OtpLitrButton"} << "Rab Meny Litr"
                                        << "OtpLitrPanel1";
    QTest::newRow("price for writing") << QStringList{"OtpLitrButton", "SumLitrZadatButton"} << "Price" << "SumPanel";
}

void TestDispenserWindow::popups()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, visible);
    QFETCH(QString, placed);

    int pointerY = 300;
    for (const QString& button : clicks) {
        pointerY += 37;
        QCursor::setPos(w().frameGeometry().left() + 20, pointerY);
        click(button);
    }
    QCOMPARE(visiblePanels(w()), visible);
    auto* popup = w().findChild<QWidget*>(placed);
    QCOMPARE(popup->y(), pointerY - w().frameGeometry().top() - w().chrome().caption - 22);
    // Only the height follows the pointer: the pop-up still hangs off the menu.
    QCOMPARE(popup->geometry().right() + 1, w().findChild<QWidget*>("MenyPanel")->x());
    QVERIFY(bench_->consoleLines().isEmpty());
}

void TestDispenserWindow::priceReadWithoutController()
{
    QCursor::setPos(w().frameGeometry().left() + 20, 350);
    click(QStringLiteral("SumLitrChitButton"));
    QCOMPARE(received(QStringLiteral("60 01 59 4A")), QStringLiteral("60 01 59 4A"));
    QVERIFY(bench_->waitIdle());
    QCOMPARE(withoutTimeStamps(bench_->consoleLines()), (QStringList{"PC->  60 01 59 4A", "TimeOut"}));
    QCOMPARE(visiblePanels(w()), QStringLiteral("Rab Meny"));
    QCOMPARE(w().findChild<QWidget*>("SumPanel")->y(), 350 - w().frameGeometry().top() - w().chrome().caption - 22);
}

void TestDispenserWindow::closedPortSaysSo_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("a menu button") << "StatusButton";
    QTest::newRow("a pop-up's button") << "OtpLitrButton OtpLitr";
    QTest::newRow("the raw console") << "console";
}

// A frame asked for on a closed port is said in the mode's log, once per click, and
// nothing reaches the device.
void TestDispenserWindow::closedPortSaysSo()
{
    QFETCH(QString, how);
    QTest::mouseClick(bench_->control<QPushButton>(QStringLiteral("ClosePort")), Qt::LeftButton);
    QVERIFY(!bench_->line().portOpen());
    const qsizetype before = bench_->consoleLines().size();
    for (int click = 0; click < 2; ++click) {
        if (how == u"console") {
            bench_->typeAndSend(QStringLiteral("60 01 81 *"));
        } else {
            const QStringList buttons = how.split(u' ');
            for (const QString& button : buttons)
                this->click(button);
        }
    }
    QCOMPARE(bench_->consoleLines().mid(before),
             QStringList(2, QStringLiteral("Порт закрыт: кадр не отправлен")));
    QVERIFY(!bench_->line().busy());
    QTest::qWait(20);
    QCOMPARE(bench_->device().receiveAvailable(), std::string());
}

QTEST_MAIN(TestDispenserWindow)
#include "test_dispenserwindow.moc"
