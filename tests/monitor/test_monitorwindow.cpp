// The monitor as a mode of the whole program on the offscreen screen: chosen like the
// other modes, a tap's line set through the settings window, a conversation heard on two
// virtual ports, the capture saved and opened again, the log saved as Windows-1251.

#include "consoletestbench.h"
#include "frametext.h"
#include "monitorfamily.h"
#include "tform2.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QLabel>
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
    QFile log(answer + monitor::kLogSuffix);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QStringDecoder cp1251("windows-1251");
    const QString logText = cp1251(log.readAll());
    QVERIFY(!cp1251.hasError());
    QVERIFY2(logText.contains(QStringLiteral("A->B ")) && logText.contains(QStringLiteral("запрос статуса")), qPrintable(logText));
    QCOMPARE(logText.count(QStringLiteral("\r\n")), heard.size());

    // Emptied, then the capture opened: the same lines, times and all.
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorClear")), Qt::LeftButton);
    QCOMPARE(logLines(), QStringList());
    answer += monitor::kCaptureSuffix;
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("MonitorOpenCapture")), Qt::LeftButton);
    QCOMPARE(logLines(), heard);

    // Shown with no protocol: the same frames, bytes only.
    bench.control<QComboBox>(QStringLiteral("MonitorProtocol"))->setCurrentIndex(int(monitor::Protocol::None));
    QCOMPARE(logLines().filter(QStringLiteral("  60 01 81 FB")).size(), 1);
    QCOMPARE(logLines().filter(QStringLiteral("запрос статуса")).size(), 0);
}

QTEST_MAIN(TestMonitorWindow)

#include "test_monitorwindow.moc"
