// The monitor as a mode of the whole program on the offscreen screen: chosen like the
// other modes, a tap's line set through the settings window, a conversation heard on two
// virtual ports, the capture saved and opened again, the log saved as Windows-1251.

#include "capturesave.h"
#include "consoletestbench.h"
#include "frametext.h"
#include "logfileio.h"
#include "monitorfamily.h"
#include "tform2.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>
#include <QTemporaryDir>

using qldixw::testing::ConsoleTestBench;
using qldixw::testing::PtyPair;

class TestMonitorWindow : public QObject {
    Q_OBJECT
private slots:
    void listenSaveAndReplay();
    void simulatedConversation_data();
    void simulatedConversation();
};

void TestMonitorWindow::listenSaveAndReplay()
{
    ConsoleTestBench bench;
    PtyPair station;
    PtyPair device;
    ConsoleTestBench::publish(QStringLiteral("COM7"), station.portPath());
    ConsoleTestBench::publish(QStringLiteral("COM8"), device.portPath());

    // The fourth item of the mode switch, chosen like the others.
    auto* item = bench.control<QRadioButton>(QStringLiteral("prog_Monitor"));
    QVERIFY(item);
    QCOMPARE(item->text(), QStringLiteral("Монитор"));
    QCOMPARE(item->group()->buttons().size(), 4);
    QTest::mouseClick(item, Qt::LeftButton);
    QCOMPARE(bench.window().mode(), 3);
    QVERIFY(bench.control<QWidget>(QStringLiteral("MonitorPanel"))->isVisible());
    QVERIFY(!bench.control<QWidget>(QStringLiteral("RabPanel"))->isVisible());

    auto* family = bench.window().findChild<monitor::MonitorFamily*>(QStringLiteral("MonitorFamily"));
    QVERIFY(family);
    QTemporaryDir files;
    QString answer;
    family->setFileChooser([&answer](QWidget*, bool, const QString&, const QString&) { return answer; });

    // Side A's line through the settings window, as the operator sets the console's.
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorSettingsA")), Qt::LeftButton);
    auto* settings = bench.window().findChild<ComPortNastroika::TForm2*>(QStringLiteral("TForm2_MonitorA"));
    QVERIFY(settings);
    QTRY_VERIFY_WITH_TIMEOUT(settings->isVisible(), 5000);
    settings->Speed->setEditText(QStringLiteral("9600"));
    QTest::mouseClick(settings->Button1, Qt::LeftButton);
    QTest::mouseClick(settings->Button2, Qt::LeftButton);
    auto* stateA = bench.control<QLabel>(QStringLiteral("MonitorStateA"));
    QVERIFY2(stateA->text().contains(QStringLiteral("9600 8N2")), qPrintable(stateA->text()));

    bench.control<QComboBox>(QStringLiteral("MonitorPortA"))->setEditText(QStringLiteral("COM7"));
    bench.control<QComboBox>(QStringLiteral("MonitorPortB"))->setEditText(QStringLiteral("COM8"));
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorStart")), Qt::LeftButton);
    QCOMPARE(stateA->text(), QStringLiteral("слушает COM7, 9600 8N2"));
    QCOMPARE(bench.control<QLabel>(QStringLiteral("MonitorStateB"))->text(), QStringLiteral("слушает COM8, 4800 8N2"));
    QVERIFY(!bench.control<QPushButton>(QStringLiteral("MonitorStart"))->isEnabled());

    const auto logLines = [&bench] { return bench.lines(QStringLiteral("MonitorLog")); };
    const auto framesShown = [&logLines] { return logLines().filter(QStringLiteral("  60 01 81 FB")).size() + logLines().filter(QStringLiteral("  01 81 00")).size(); };
    const QByteArray request = *transport::lineBytesOfText(QStringLiteral("60 01 81 *"));
    QVERIFY(station.send(request.constData(), std::size_t(request.size())));
    QTRY_COMPARE_WITH_TIMEOUT(framesShown(), 1, 5000);
    const QByteArray reply = *transport::lineBytesOfText(QStringLiteral("01 81 00 12 34 56 07 *"));
    QVERIFY(device.send(reply.constData(), std::size_t(reply.size())));
    QTRY_COMPARE_WITH_TIMEOUT(framesShown(), 2, 5000);
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorStop")), Qt::LeftButton);
    QCOMPARE(stateA->text(), QStringLiteral("закрыт, 9600 8N2"));

    const QStringList heard = logLines();
    QVERIFY2(heard.filter(QStringLiteral("  запрос статуса, адрес 01, рукав 1")).size() == 1, qPrintable(heard.join(u'\n')));
    QVERIFY(heard.filter(QRegularExpression(QStringLiteral("^B→A \\d\\d:\\d\\d:\\d\\d\\.\\d{6}  01 81 00 12 34 56 07 C8  статус"))).size() == 1);
    QVERIFY(heard.filter(QStringLiteral("! линия 9600 8N2")).size() == 1);
    QCOMPARE(station.receiveAvailable(), std::string());
    QCOMPARE(device.receiveAvailable(), std::string());

    // The capture and the log, each under the name the dialog gave and its file type.
    answer = files.filePath(QStringLiteral("service call"));
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorSaveCapture")), Qt::LeftButton);
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorSaveLog")), Qt::LeftButton);
    QFile log(answer + ui::kLogSuffix);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QStringDecoder cp1251("windows-1251");
    const QString logText = cp1251(log.readAll());
    QVERIFY(!cp1251.hasError());
    QVERIFY2(logText.contains(QStringLiteral("A->B ")) && logText.contains(QStringLiteral("запрос статуса")), qPrintable(logText));
    QCOMPARE(logText.count(QStringLiteral("\r\n")), heard.size());

    // Emptied, then the capture opened: read beside the window, whose open button gives
    // the reading up meanwhile with nothing changed.
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorClear")), Qt::LeftButton);
    QCOMPARE(logLines(), QStringList());
    answer += linecapture::kCaptureSuffix;
    auto* open = bench.control<QPushButton>(QStringLiteral("MonitorOpenCapture"));
    QTest::mouseClick(open, Qt::LeftButton);
    QVERIFY2(open->text().startsWith(QStringLiteral("Отменить")), qPrintable(open->text()));
    QVERIFY(open->accessibleName().startsWith(QStringLiteral("Отменить чтение записи")));
    QVERIFY(!bench.control<QPushButton>(QStringLiteral("MonitorStart"))->isEnabled());
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(open->text(), QStringLiteral("Открыть запись ..."));
    QVERIFY(!family->readingCapture());
    QTest::qWait(50);
    QCOMPARE(logLines(), QStringList());
    // Read to its end: the same lines, times and all.
    QTest::mouseClick(open, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(logLines(), heard, 10000);
    QCOMPARE(open->text(), QStringLiteral("Открыть запись ..."));
    QVERIFY(bench.control<QPushButton>(QStringLiteral("MonitorStart"))->isEnabled());

    // Shown with no protocol: the same frames, bytes only, read from the file again.
    bench.control<QComboBox>(QStringLiteral("MonitorProtocol"))->setCurrentIndex(int(monitor::Protocol::None));
    QTRY_COMPARE_WITH_TIMEOUT(logLines().filter(QStringLiteral("запрос статуса")).size(), 0, 10000);
    QCOMPARE(logLines().filter(QStringLiteral("  60 01 81 FB")).size(), 1);
    QCOMPARE(logLines().size(), heard.size());

    // Saved again from the file it was read from: the same capture, with the protocol
    // it is shown with now.
    const QString first = answer;
    answer = files.filePath(QStringLiteral("copy.qlcap"));
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorSaveCapture")), Qt::LeftButton);
    QFile saved(first);
    QFile copy(answer);
    QVERIFY(saved.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), saved.readAll().replace("\nprotocol dix\n", "\nprotocol none\n"));
}

void TestMonitorWindow::simulatedConversation_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QStringList>("heard"); // each shown on some line
    QTest::newRow("dispenser") << "dix" << int(monitor::Protocol::Dispenser)
                               << QStringList{"  60 01 81 FB  запрос статуса, адрес 01, рукав 1", "  статус: данные ",
                                              "  подтверждение: Успешно",
                                              "  60 01 81 00  заголовок: неверная контрольная сумма: 00 вместо FB"};
    QTest::newRow("memory") << "ql" << int(monitor::Protocol::Memory)
                            << QStringList{"  доступ разрешён (C0)", "  IR 000024 = ", "  ответ на запись IR 000010"};
    QTest::newRow("meter") << "erk" << int(monitor::Protocol::Meter)
                           << QStringList{"  чтение V1, адрес 01", "  V1 = ", "  ответ на запись: Записано верно",
                                          "  адрес счётчика 01"};
}

// The simulator plays both sides of the line, as ./run.sh starts it for the monitor.
void TestMonitorWindow::simulatedConversation()
{
    QFETCH(QString, family);
    QFETCH(int, protocol);
    QFETCH(QStringList, heard);
    ConsoleTestBench bench; // the simulator publishes its ports in the bench's own folder
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(QStringLiteral(QLDIXW_DEVSIM_PATH),
                    {"--family", family, "--conversation", "COM5,COM6", "--every", "100"});
    QVERIFY(simulator.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), 5000);
    QVERIFY(simulator.readLine().startsWith("ready "));

    QTest::mouseClick(bench.control<QRadioButton>(QStringLiteral("prog_Monitor")), Qt::LeftButton);
    bench.control<QComboBox>(QStringLiteral("MonitorProtocol"))->setCurrentIndex(protocol);
    bench.control<QComboBox>(QStringLiteral("MonitorPortA"))->setEditText(QStringLiteral("COM5"));
    bench.control<QComboBox>(QStringLiteral("MonitorPortB"))->setEditText(QStringLiteral("COM6"));
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorStart")), Qt::LeftButton);
    // A round of the meter's requests takes seconds at this pace, many more on a loaded
    // machine; the limit only bounds a conversation that never comes.
    for (const QString& text : heard)
        QTRY_VERIFY2_WITH_TIMEOUT(!bench.lines(QStringLiteral("MonitorLog")).filter(text).isEmpty(), qPrintable(text), 60000);
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorStop")), Qt::LeftButton);
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(5000));
}

QTEST_MAIN(TestMonitorWindow)

#include "test_monitorwindow.moc"
