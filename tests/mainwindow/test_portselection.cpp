// Choosing, opening and closing the port, and the line-settings window, on the whole
// program with pseudo-terminals as cables.

#include "consoletestbench.h"
#include "modalcatcher.h"

#include <QTest>

using namespace qldixw::testing;
using namespace commport;

namespace {

std::string bytes(const char* hex)
{
    return QByteArray::fromHex(hex).toStdString();
}

bool showsClosed(const mainwindow::TForm1& w)
{
    return w.OpenPort->isEnabled() && !w.ClosePort->isEnabled() && !w.Comm1.IsOpen();
}

bool showsOpen(const mainwindow::TForm1& w)
{
    return !w.OpenPort->isEnabled() && w.ClosePort->isEnabled() && w.Comm1.IsOpen();
}

} // namespace

class TestPortSelection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startNeverOpensAPort();
    void choosingWhileClosedOnlyNamesThePort();
    void choosingWhileOpenReopensAndPurges();
    void namesMatchExactly_data();
    void namesMatchExactly();
    void failedOpenLeavesTheClosedState();
    void closeStopsPollingAndDisablesMeterPanel();
    void lostDeviceClosesThePortOnce();
    void settingsWindow();

private:
    std::unique_ptr<ConsoleTestBench> bench_;
    std::unique_ptr<PtyPair> second_;
};

void TestPortSelection::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    second_ = std::make_unique<PtyPair>();
    ConsoleTestBench::publish(QStringLiteral("COM8"), second_->portPath());
}

void TestPortSelection::cleanup()
{
    bench_.reset();
    second_.reset();
}

void TestPortSelection::startNeverOpensAPort()
{
    auto& w = bench_->window();
    QVERIFY(showsClosed(w));
    QCOMPARE(w.Label11->text(), QStringLiteral("COM-порт ЗАКРЫТ"));
    QVERIFY(!w.Label11->isVisibleTo(&w));
    QCOMPARE(QString::fromStdString(w.Comm1.DeviceName()), w.COM->currentText());
}

void TestPortSelection::choosingWhileClosedOnlyNamesThePort()
{
    auto& w = bench_->window();
    w.COM->setEditText(QStringLiteral("COM8"));
    QVERIFY(showsClosed(w));
    QCOMPARE(w.Comm1.DeviceName(), std::string("COM8"));
    QTest::mouseClick(w.OpenPort, Qt::LeftButton);
    QVERIFY(showsOpen(w));
    QCOMPARE(w.Comm1.DevicePath(), second_->portPath());
    QCOMPARE(w.Label11->text(), QStringLiteral("COM-порт ОТКРЫТ"));
    QCOMPARE(w.Label11->palette().color(QPalette::Window), QColor(0, 128, 0));
}

void TestPortSelection::choosingWhileOpenReopensAndPurges()
{
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    // Bytes the new port's device sent before the switch are stale.
    QVERIFY(second_->send(bytes("AAAA")));
    QTest::qWait(50);
    w.COM->setEditText(QStringLiteral("COM8"));
    QVERIFY(showsOpen(w));
    QCOMPARE(w.Comm1.DevicePath(), second_->portPath());

    w.transport->obrabZapstr(QStringLiteral("60 01 81 *"));
    QCOMPARE(second_->receive(4), bytes("600181FB"));
    QCOMPARE(bench_->device().receiveAvailable(), std::string());
    QVERIFY(second_->send(bytes("01810012345607C8")));
    QVERIFY(bench_->waitIdle());
    QCOMPARE(withoutTimeStamp(bench_->consoleLines().last()), QStringLiteral("PC<-  01 81 00 12 34 56 07 C8"));
}

void TestPortSelection::namesMatchExactly_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enter");
    QTest::addColumn<QString>("deviceName");
    QTest::newRow("lower case") << "com8" << false << "COM9";
    QTest::newRow("beyond 17") << "COM18" << false << "COM9";
    QTest::newRow("half typed") << "COM" << false << "COM9";
    QTest::newRow("17") << "COM17" << false << "COM17";
    QTest::newRow("device path being typed") << "/dev/pt" << false << "COM9";
    QTest::newRow("device path and Enter") << "/dev/ptmx" << true << "/dev/ptmx";
}

void TestPortSelection::namesMatchExactly()
{
    QFETCH(QString, typed);
    QFETCH(bool, enter);
    QFETCH(QString, deviceName);
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    ModalCatcher boxes;
    w.COM->setEditText(typed);
    if (enter)
        QTest::keyClick(w.COM->lineEdit(), Qt::Key_Return);
    QCOMPARE(QString::fromStdString(w.Comm1.DeviceName()), deviceName);
    // An open port is reopened on whatever name the port now has.
    QCOMPARE(showsOpen(w), deviceName == QStringLiteral("COM9") || deviceName.startsWith(u'/'));
}

void TestPortSelection::failedOpenLeavesTheClosedState()
{
    auto& w = bench_->window();
    ModalCatcher boxes;
    w.COM->setEditText(QStringLiteral("COM7"));
    QVERIFY(w.meterPanel->ERK2Panel->isEnabled());
    w.meterPanel->ERK2Panel->setEnabled(false);
    QTest::mouseClick(w.OpenPort, Qt::LeftButton);
    QTRY_COMPARE(boxes.texts().size(), 1);
    QVERIFY(showsClosed(w));
    QCOMPARE(w.Label11->text(), QStringLiteral("Устройство не подключено! COM-порт ЗАКРЫТ"));
    QCOMPARE(w.Label11->palette().color(QPalette::Window), QColor(255, 0, 0));
    QVERIFY(!w.meterPanel->ERK2Panel->isEnabled());
    const QString text = boxes.texts().front();
    QVERIFY2(text.startsWith(QStringLiteral("Error accessing specified device (Error: ")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("COM7")), qPrintable(text));

    // The program goes on: the next choice opens.
    w.COM->setEditText(QStringLiteral("COM9"));
    QTest::mouseClick(w.OpenPort, Qt::LeftButton);
    QVERIFY(showsOpen(w));
}

void TestPortSelection::closeStopsPollingAndDisablesMeterPanel()
{
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    QVERIFY(w.meterPanel->ERK2Panel->isEnabled());
    w.meterPanel->Timer2->start();
    QTest::mouseClick(w.ClosePort, Qt::LeftButton);
    QVERIFY(showsClosed(w));
    QVERIFY(!w.meterPanel->Timer2->isActive());
    QVERIFY(!w.meterPanel->ERK2Panel->isEnabled());
    QCOMPARE(w.Label11->text(), QStringLiteral("COM-порт ЗАКРЫТ"));

    QTest::mouseClick(w.OpenPort, Qt::LeftButton);
    QVERIFY(w.meterPanel->ERK2Panel->isEnabled());
    QVERIFY(!w.meterPanel->Timer2->isActive());
}

void TestPortSelection::lostDeviceClosesThePortOnce()
{
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    ModalCatcher boxes;
    bench_->device().unplug();
    QTRY_VERIFY(showsClosed(w));
    QTRY_COMPARE(boxes.texts().size(), 1);
    QVERIFY(boxes.texts().front().contains(QStringLiteral("COM9")));
    QTest::qWait(200);
    QCOMPARE(boxes.texts().size(), 1);
    QVERIFY(!w.meterPanel->ERK2Panel->isEnabled());

    // Another device on the same name opens again.
    PtyPair replacement;
    ConsoleTestBench::publish(QStringLiteral("COM9"), replacement.portPath());
    QTest::mouseClick(w.OpenPort, Qt::LeftButton);
    QVERIFY(showsOpen(w));
}

void TestPortSelection::settingsWindow()
{
    auto& w = bench_->window();
    auto* form2 = bench_->windows().Form2.get();
    QVERIFY(bench_->openPort());

    // First showing: the lists show the port's settings; "Применить" keeps 8 data bits.
    // The window is modal: what the operator does runs inside its event loop, and
    // every path ends with "Выход" so a failure cannot leave it open.
    QStringList shown;
    QTimer::singleShot(0, form2, [form2, &shown] {
        shown << form2->Speed->currentText() << form2->chetnost->currentText() << form2->StopBit->currentText()
              << QString::number(form2->BIT->currentIndex());
        QTest::mouseClick(form2->Button1, Qt::LeftButton);
        QTest::mouseClick(form2->Button2, Qt::LeftButton);
    });
    w.COMnastroika->trigger();
    QCOMPARE(shown, (QStringList{QStringLiteral("4800"), QStringLiteral("None"), QStringLiteral("2"), QStringLiteral("-1")}));
    QVERIFY(showsClosed(w));
    QCOMPARE(w.Comm1.BaudRate(), TBaudRate::cbr4800);
    QCOMPARE(w.Comm1.Databits(), TDatabits::da8);
    QCOMPARE(w.Comm1.Parity(), TParity::paNone);
    QCOMPARE(w.Comm1.Stopbits(), TStopbits::sb20);

    // Second showing: choices are applied only by "Применить".
    QTimer::singleShot(0, form2, [form2] {
        form2->Speed->setCurrentIndex(form2->Speed->findText(QStringLiteral("57600")));
        form2->chetnost->setCurrentIndex(form2->chetnost->findText(QStringLiteral("Mark")));
        form2->BIT->setCurrentIndex(form2->BIT->findText(QStringLiteral("7")));
        form2->StopBit->setCurrentIndex(form2->StopBit->findText(QStringLiteral("1")));
        QTest::mouseClick(form2->Button1, Qt::LeftButton);
        form2->Speed->setCurrentIndex(form2->Speed->findText(QStringLiteral("115200")));
        QTest::mouseClick(form2->Button2, Qt::LeftButton);
    });
    w.COMnastroika->trigger();
    QCOMPARE(w.Comm1.BaudRate(), TBaudRate::cbr57600);
    QCOMPARE(w.Comm1.Parity(), TParity::paMark);
    QCOMPARE(w.Comm1.Databits(), TDatabits::da7);
    QCOMPARE(w.Comm1.Stopbits(), TStopbits::sb10);
    QVERIFY(showsClosed(w));

    // A pseudo-terminal carries 8 data bits without parity only: it refuses the format,
    // and the window is left closed, the device released.
    {
        ModalCatcher boxes;
        QTest::mouseClick(w.OpenPort, Qt::LeftButton);
        QTRY_COMPARE(boxes.texts().size(), 1);
        QVERIFY2(boxes.texts().front().startsWith(QStringLiteral("Error updating DataControlBlock (Error: ")),
                 qPrintable(boxes.texts().front()));
        QVERIFY(showsClosed(w));
    }

    // Settings the device takes reach it with the next "Открыть".
    QTimer::singleShot(0, form2, [form2] {
        form2->chetnost->setCurrentIndex(form2->chetnost->findText(QStringLiteral("None")));
        form2->BIT->setCurrentIndex(form2->BIT->findText(QStringLiteral("8")));
        QTest::mouseClick(form2->Button1, Qt::LeftButton);
        QTest::mouseClick(form2->Button2, Qt::LeftButton);
    });
    w.COMnastroika->trigger();
    ModalCatcher boxes;
    QTest::mouseClick(w.OpenPort, Qt::LeftButton);
    QVERIFY2(boxes.texts().isEmpty(), qPrintable(boxes.texts().join(u'|')));
    QVERIFY(showsOpen(w));
    QCOMPARE(lineSpeed(w.Comm1.DeviceHandle()), 57600u);
}

QTEST_MAIN(TestPortSelection)
#include "test_portselection.moc"
