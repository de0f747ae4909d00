// Devices that come and go under the whole program: the simulator stopped and started
// again on the port the console has open, a reply awaited at the unplug, the operator
// ending the wait, and the port list following the system.

#include "consoletestbench.h"
#include "modalcatcher.h"
#include "simulatorprocess.h"
#include "tform2.h"
#include "virtualports.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace qldixw::testing;

namespace {

QString linkPath(const QString& name)
{
    return QDir(ports::virtualPortsDirectory()).filePath(name);
}

// The names of the list this test publishes; the machine's own ports may be there too.
QStringList items(const QComboBox* box)
{
    static const QStringList ours{"COM5", "COM7", "COM8", "COM9"};
    QStringList names;
    for (int i = 0; i < box->count(); ++i)
        if (ours.contains(box->itemText(i)))
            names << box->itemText(i);
    return names;
}

// The device goes as a stopped simulator goes: its terminal closed and its link removed.
// (A link left behind may lead to the next terminal that gets the same number, which
// tests running beside this one open all the time.)
void pull(PtyPair& device, const QString& name)
{
    device.unplug();
    QFile::remove(linkPath(name));
}

QString lostLine(const QString& name, const QString& device)
{
    return QStringLiteral("Устройство %1 (%2) отключено: порт закрыт, жду повторного подключения").arg(name, device);
}

QString backLine(const QString& name, const QString& device)
{
    return QStringLiteral("Устройство %1 (%2) подключено снова, порт открыт").arg(name, device);
}

} // namespace

class TestReconnection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void simulatorStoppedAndStartedAgain();
    void replyAwaitedAtTheUnplugEndsAsTimeOut();
    void operatorEndsTheWait_data();
    void operatorEndsTheWait();
    void portListFollowsTheSystem_data();
    void portListFollowsTheSystem();

private:
    QLabel* waitLabel() { return bench_->control<QLabel>(QStringLiteral("PortWaitLabel")); }
    QComboBox* portList() { return bench_->control<QComboBox>(QStringLiteral("COM")); }
    QPushButton* button(const char* name) { return bench_->control<QPushButton>(QString::fromLatin1(name)); }
    bool waiting() { return waitLabel()->isVisible() && !bench_->line().portOpen() && button("ClosePort")->isEnabled(); }

    std::unique_ptr<ConsoleTestBench> bench_;
    // Two more ports beside the bench's COM9, so the list is the system's, not the
    // built-in one, whichever port comes or goes.
    std::unique_ptr<PtyPair> com7_;
    std::unique_ptr<PtyPair> com8_;
};

void TestReconnection::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    com7_ = std::make_unique<PtyPair>();
    com8_ = std::make_unique<PtyPair>();
    ConsoleTestBench::publish(QStringLiteral("COM7"), com7_->portPath());
    ConsoleTestBench::publish(QStringLiteral("COM8"), com8_->portPath());
    QTRY_COMPARE(items(portList()), (QStringList{"COM7", "COM8", "COM9"}));
}

void TestReconnection::cleanup()
{
    bench_.reset();
    com7_.reset();
    com8_.reset();
}

void TestReconnection::simulatorStoppedAndStartedAgain()
{
    const QStringList dispenser{QStringLiteral("--family"), QStringLiteral("dix")};
    auto sim = std::make_unique<SimulatorProcess>(linkPath(QStringLiteral("COM5")), dispenser);
    QVERIFY(sim->started());
    ModalCatcher boxes;
    // Line settings other than the start's, to see them come back with the device.
    auto* settings = bench_->windows().Form2();
    settings->Speed->setCurrentIndex(settings->Speed->findText(QStringLiteral("19200")));
    bench_->window().priminnastroiki();
    portList()->setEditText(QStringLiteral("COM5"));
    QTest::mouseClick(button("OpenPort"), Qt::LeftButton);
    QVERIFY(bench_->line().portOpen());
    const QString firstTerminal = sim->ptyPath();

    // Stopped while open: one line, the waiting status, no box.
    const qsizetype before = bench_->consoleLines().size();
    sim.reset();
    QTRY_VERIFY(waiting());
    QCOMPARE(bench_->consoleLines().mid(before), QStringList{lostLine(QStringLiteral("COM5"), firstTerminal)});
    QCOMPARE(portList()->currentText(), QStringLiteral("COM5"));
    QTRY_VERIFY(portList()->findText(QStringLiteral("COM5")) < 0);

    // Started again on COM5: open again with the same settings, and it answers.
    sim = std::make_unique<SimulatorProcess>(linkPath(QStringLiteral("COM5")), dispenser);
    QVERIFY(sim->started());
    QTRY_VERIFY_WITH_TIMEOUT(bench_->line().portOpen(), 5000);
    QVERIFY(!waitLabel()->isVisible());
    QVERIFY(!button("OpenPort")->isEnabled());
    QCOMPARE(lineSpeed(bench_->window().port().DeviceHandle()), 19200u);
    QCOMPARE(bench_->consoleLines().last(), backLine(QStringLiteral("COM5"), sim->ptyPath()));
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QVERIFY(bench_->waitIdle());
    const QString reply = withoutTimeStamp(bench_->consoleLines().last());
    QVERIFY2(reply.startsWith(QStringLiteral("PC<-  01 81")), qPrintable(reply));

    // Stopped again, and the operator closes: it stays closed when the device is back.
    sim.reset();
    QTRY_VERIFY(waiting());
    QTest::mouseClick(button("ClosePort"), Qt::LeftButton);
    QVERIFY(!waitLabel()->isVisible());
    QTRY_VERIFY(portList()->findText(QStringLiteral("COM5")) < 0);
    sim = std::make_unique<SimulatorProcess>(linkPath(QStringLiteral("COM5")), dispenser);
    QVERIFY(sim->started());
    // The list shows COM5 again: the console has taken notice of its return.
    QTRY_VERIFY(portList()->findText(QStringLiteral("COM5")) >= 0);
    QVERIFY(!bench_->line().portOpen());
    QVERIFY(button("OpenPort")->isEnabled());
    QVERIFY(!button("ClosePort")->isEnabled());
    QCOMPARE(boxes.texts(), QStringList());
}

void TestReconnection::replyAwaitedAtTheUnplugEndsAsTimeOut()
{
    QVERIFY(bench_->openPort());
    const QString first = QString::fromStdString(bench_->device().portPath());
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QVERIFY(bench_->line().busy());
    QCOMPARE(bench_->device().receive(4), QByteArray::fromHex("600181FB").toStdString());

    // Pulled and back while the reply is awaited: the wait ends as "TimeOut" first.
    bench_->device().unplug();
    QTRY_VERIFY(!bench_->line().portOpen());
    PtyPair replacement;
    ConsoleTestBench::publish(QStringLiteral("COM9"), replacement.portPath());
    QVERIFY(bench_->waitIdle());
    QTRY_VERIFY(bench_->line().portOpen());
    const QStringList lines = bench_->consoleLines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(withoutTimeStamp(lines[0]), QStringLiteral("PC->  60 01 81 FB"));
    QCOMPARE(lines[1], lostLine(QStringLiteral("COM9"), first));
    QCOMPARE(lines[2], QStringLiteral("TimeOut"));
    QCOMPARE(lines[3], backLine(QStringLiteral("COM9"), QString::fromStdString(replacement.portPath())));
    // Nothing is sent again on its own.
    QCOMPARE(replacement.receive(1, std::chrono::milliseconds(300)), std::string());
}

void TestReconnection::operatorEndsTheWait_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("reopened");
    QTest::newRow("nothing: the device is reopened") << "" << true;
    QTest::newRow("Закрыть") << "close" << false;
    QTest::newRow("another port chosen") << "choose COM8" << false;
    QTest::newRow("line-settings window opened") << "settings" << false;
    QTest::newRow("automatic reconnection turned off") << "automatic off" << false;
}

void TestReconnection::operatorEndsTheWait()
{
    QFETCH(QString, action);
    QFETCH(bool, reopened);
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    auto* automatic = w.findChild<QAction*>(QStringLiteral("AutoReconnect"));
    QVERIFY(automatic->isCheckable() && automatic->isChecked());
    pull(bench_->device(), QStringLiteral("COM9"));
    QTRY_VERIFY(waiting());
    QTRY_VERIFY(portList()->findText(QStringLiteral("COM9")) < 0);

    if (action == u"close") {
        QTest::mouseClick(button("ClosePort"), Qt::LeftButton);
    } else if (action == u"choose COM8") {
        portList()->setCurrentIndex(portList()->findText(QStringLiteral("COM8")));
    } else if (action == u"settings") {
        auto* settings = bench_->windows().Form2();
        QTimer::singleShot(0, settings, [settings] { QTest::mouseClick(settings->Button2, Qt::LeftButton); });
        w.findChild<QAction*>(QStringLiteral("COMnastroika"))->trigger();
    } else if (action == u"automatic off") {
        automatic->trigger();
    }
    QCOMPARE(waitLabel()->isVisible(), action.isEmpty());
    QCOMPARE(button("ClosePort")->isEnabled(), action.isEmpty());

    PtyPair replacement;
    ConsoleTestBench::publish(QStringLiteral("COM9"), replacement.portPath());
    QTRY_VERIFY(portList()->findText(QStringLiteral("COM9")) >= 0);
    if (reopened)
        QTRY_VERIFY(bench_->line().portOpen());
    QCOMPARE(bench_->line().portOpen(), reopened);
    QCOMPARE(QString::fromStdString(w.port().DeviceName()),
             action == u"choose COM8" ? QStringLiteral("COM8") : QStringLiteral("COM9"));
}

void TestReconnection::portListFollowsTheSystem_data()
{
    QTest::addColumn<QString>("change");    // "publish COM5" or "pull COM8"
    QTest::addColumn<bool>("dropDown");     // looked at by opening the list, before any notice
    QTest::addColumn<QStringList>("expected");
    const QStringList gained{"COM5", "COM7", "COM8", "COM9"};
    const QStringList lost{"COM7", "COM9"};
    QTest::newRow("new name, drop-down opened") << "publish COM5" << true << gained;
    QTest::newRow("new name, noticed") << "publish COM5" << false << gained;
    QTest::newRow("device gone, drop-down opened") << "pull COM8" << true << lost;
    QTest::newRow("device gone, noticed") << "pull COM8" << false << lost;
}

void TestReconnection::portListFollowsTheSystem()
{
    QFETCH(QString, change);
    QFETCH(bool, dropDown);
    QFETCH(QStringList, expected);
    QVERIFY(bench_->openPort());
    // Bytes waiting in the open port: a close or a reopen would lose them.
    QVERIFY(bench_->device().send(QByteArray::fromHex("AABB").toStdString()));
    QTRY_COMPARE(queuedInput(bench_->window().port().DeviceHandle()), 2);

    PtyPair com5;
    if (change == u"publish COM5")
        ConsoleTestBench::publish(QStringLiteral("COM5"), com5.portPath());
    else
        pull(*com8_, QStringLiteral("COM8"));
    if (dropDown) {
        // At once, before the event loop could deliver any notice.
        portList()->showPopup();
        QCOMPARE(items(portList()), expected);
        portList()->hidePopup();
    } else {
        QTRY_COMPARE(items(portList()), expected);
    }
    QCOMPARE(portList()->currentText(), QStringLiteral("COM9"));
    QVERIFY(bench_->line().portOpen());
    QCOMPARE(queuedInput(bench_->window().port().DeviceHandle()), 2);
}

QTEST_MAIN(TestReconnection)
#include "test_reconnection.moc"
