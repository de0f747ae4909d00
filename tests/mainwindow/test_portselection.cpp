// Choosing, opening and closing the port, and the line-settings window, on the whole
// program with pseudo-terminals as cables.

#include "consoletestbench.h"
#include "modalcatcher.h"
#include "portholder.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qldixw::testing;
using namespace commport;

namespace {

template <class Control>
Control* ctl(const mainwindow::TForm1& w, const char* name)
{
    return w.findChild<Control*>(QString::fromLatin1(name));
}

std::string bytes(const char* hex)
{
    return QByteArray::fromHex(hex).toStdString();
}

bool showsClosed(const mainwindow::TForm1& w)
{
    return ctl<QPushButton>(w, "OpenPort")->isEnabled() && !ctl<QPushButton>(w, "ClosePort")->isEnabled() && !w.port().IsOpen();
}

bool showsOpen(const mainwindow::TForm1& w)
{
    return !ctl<QPushButton>(w, "OpenPort")->isEnabled() && ctl<QPushButton>(w, "ClosePort")->isEnabled() && w.port().IsOpen();
}

QComboBox* portBox(const mainwindow::TForm1& w)
{
    return ctl<QComboBox>(w, "COM");
}

// Chooses `name` from the list, as the drop-down does; false when the list never showed it.
bool choose(const mainwindow::TForm1& w, const QString& name)
{
    if (!QTest::qWaitFor([&] { return portBox(w)->findText(name) >= 0; }, 5000))
        return false;
    portBox(w)->setCurrentIndex(portBox(w)->findText(name));
    return true;
}

// Types into the port box as the operator does, key by key, over what it held.
void typePortName(const mainwindow::TForm1& w, const QString& text)
{
    QLineEdit* edit = portBox(w)->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// The tip the box shows when the operator points at it.
QString portTip(const mainwindow::TForm1& w)
{
    QComboBox* box = portBox(w);
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(box, &help);
    return box->toolTip();
}

// Waits until `count` bytes are queued on the port side of a pty, so they count as
// having come before whatever the test does next.
bool waitQueued(const std::string& portPath, int count)
{
    const int fd = ::open(portPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool queued = QTest::qWaitFor([&] { return queuedInput(fd) >= count; }, 5000);
    ::close(fd);
    return queued;
}

// The meter's panel, built as the operator builds it: by choosing the mode once. It
// takes the port's state then, whatever happened while it did not exist.
QWidget* meterPanel(ConsoleTestBench& bench)
{
    if (QWidget* panel = ctl<QWidget>(bench.window(), "ERK2Panel"))
        return panel;
    const int mode = bench.window().mode();
    bench.selectMode(ModeERK2);
    bench.selectMode(Mode(mode));
    return ctl<QWidget>(bench.window(), "ERK2Panel");
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
    void typedNameIsThePortOpened_data();
    void typedNameIsThePortOpened();
    void leavingTheBoxDropsAnUnconfirmedName();
    void typingAnotherNameEndsTheWait();
    void sharedVirtualFolderIsLeftAlone();
    void failedOpenLeavesTheClosedState();
    void closeStopsPollingAndDisablesMeterPanel();
    void lostDeviceClosesThePortOnce();
    void busyPortNamesItsHolder_data();
    void busyPortNamesItsHolder();
    void settingsWindow();
    void typedSettingsAreAppliedOrRefused_data();
    void typedSettingsAreAppliedOrRefused();

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
    QCOMPARE(ctl<QLabel>(w, "Label11")->text(), QStringLiteral("COM-порт ЗАКРЫТ"));
    QVERIFY(!ctl<QLabel>(w, "Label11")->isVisibleTo(&w));
    QCOMPARE(QString::fromStdString(w.port().DeviceName()), ctl<QComboBox>(w, "COM")->currentText());
}

void TestPortSelection::choosingWhileClosedOnlyNamesThePort()
{
    auto& w = bench_->window();
    QVERIFY(choose(w, QStringLiteral("COM8")));
    QVERIFY(showsClosed(w));
    QCOMPARE(w.port().DeviceName(), std::string("COM8"));
    QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
    QVERIFY(showsOpen(w));
    QCOMPARE(w.port().DevicePath(), second_->portPath());
    QCOMPARE(ctl<QLabel>(w, "Label11")->text(), QStringLiteral("COM-порт ОТКРЫТ"));
    QCOMPARE(ctl<QLabel>(w, "Label11")->palette().color(QPalette::Window), QColor(0, 128, 0));
}

void TestPortSelection::choosingWhileOpenReopensAndPurges()
{
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    // Bytes the new port's device sent before the switch are stale.
    QVERIFY(second_->send(bytes("AAAA")));
    QVERIFY(waitQueued(second_->portPath(), 2));
    QVERIFY(choose(w, QStringLiteral("COM8")));
    QVERIFY(showsOpen(w));
    QCOMPARE(w.port().DevicePath(), second_->portPath());

    bench_->line().obrabZapstr(QStringLiteral("60 01 81 *"));
    QCOMPARE(second_->receive(4), bytes("600181FB"));
    QCOMPARE(bench_->device().receiveAvailable(), std::string());
    QVERIFY(second_->send(bytes("01810012345607C8")));
    QVERIFY(bench_->waitIdle());
    QCOMPARE(withoutTimeStamp(bench_->consoleLines().last()), QStringLiteral("PC<-  01 81 00 12 34 56 07 C8"));
}

// The name in the box is the port opened: no name on the way to it ("COM2" of "COM20"),
// no name from before, no first item stands in for a name the system lacks.
void TestPortSelection::typedNameIsThePortOpened_data()
{
    QTest::addColumn<QString>("typed");   // "<pty>": the path of COM2's terminal
    QTest::addColumn<bool>("whileOpen");  // typed with COM9 open, then Enter; else "Открыть"
    QTest::addColumn<bool>("appears");    // published only after it was typed
    QTest::addColumn<bool>("opens");      // on COM2's terminal; else one box naming it

    QTest::newRow("COM20, absent, passing COM2") << "COM20" << false << false << false;
    QTest::newRow("COM2, present") << "COM2" << false << false << true;
    QTest::newRow("com3 in lower case") << "com3" << false << false << false;
    QTest::newRow("half typed") << "COM" << false << false << false;
    QTest::newRow("device path") << "<pty>" << false << false << true;
    QTest::newRow("published between typing and Открыть") << "COM5" << false << true << true;
    QTest::newRow("open, COM20 and Enter") << "COM20" << true << false << false;
    QTest::newRow("open, COM2 and Enter") << "COM2" << true << false << true;
    QTest::newRow("open, com3 and Enter") << "com3" << true << false << false;
}

void TestPortSelection::typedNameIsThePortOpened()
{
    QFETCH(QString, typed);
    QFETCH(bool, whileOpen);
    QFETCH(bool, appears);
    QFETCH(bool, opens);
    const QString pty = QString::fromStdString(second_->portPath());
    const QString name = typed == u"<pty>" ? pty : typed;
    for (const char* present : {"COM2", "COM3"})
        ConsoleTestBench::publish(QString::fromLatin1(present), second_->portPath());
    auto& w = bench_->window();
    if (whileOpen)
        QVERIFY(bench_->openPort());
    const std::string openBefore = w.port().DevicePath();

    ModalCatcher boxes;
    typePortName(w, name);
    QCOMPARE(portBox(w)->currentText(), name);
    // Typing takes nothing yet: an open port stays as it was.
    QCOMPARE(w.port().IsOpen(), whileOpen);
    QCOMPARE(w.port().DevicePath(), openBefore);
    if (!appears)
        QCOMPARE(portTip(w), opens ? pty : QStringLiteral("Порт %1 на этом компьютере не найден").arg(name));
    if (appears)
        ConsoleTestBench::publish(name, second_->portPath());

    if (whileOpen)
        QTest::keyClick(portBox(w)->lineEdit(), Qt::Key_Return);
    else
        QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);

    QCOMPARE(portBox(w)->currentText(), name);
    QCOMPARE(QString::fromStdString(w.port().DeviceName()), name);
    if (opens) {
        QVERIFY2(boxes.texts().isEmpty(), qPrintable(boxes.texts().join(u'|')));
        QVERIFY(showsOpen(w));
        QCOMPARE(QString::fromStdString(w.port().DevicePath()), pty);
        QCOMPARE(portTip(w), pty);
        if (appears)
            QVERIFY(portBox(w)->findText(name) >= 0);
    } else {
        QTRY_COMPARE(boxes.texts().size(), 1);
        QCOMPARE(boxes.texts().front(), QStringLiteral("Порт «%1» не найден на этом компьютере.").arg(name));
        QVERIFY(showsClosed(w));
    }
}

// Leaving the box without Enter while the port is open drops what was typed: the box
// shows the port that is open.
void TestPortSelection::leavingTheBoxDropsAnUnconfirmedName()
{
    ConsoleTestBench::publish(QStringLiteral("COM2"), second_->portPath());
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    portBox(w)->setFocus();
    QTRY_VERIFY(portBox(w)->hasFocus());
    typePortName(w, QStringLiteral("COM2"));
    ctl<QComboBox>(w, "kontroller")->setFocus();
    QTRY_VERIFY(!portBox(w)->hasFocus());
    QCOMPARE(portBox(w)->currentText(), QStringLiteral("COM9"));
    QVERIFY(showsOpen(w));
    QCOMPARE(w.port().DevicePath(), bench_->device().portPath());
    QCOMPARE(w.port().DeviceName(), std::string("COM9"));
}

// The console waits for a vanished device under the name it had; the operator typing
// another name takes the port over, and the device is not reopened behind the box.
void TestPortSelection::typingAnotherNameEndsTheWait()
{
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    bench_->device().unplug();
    QTRY_VERIFY(ctl<QLabel>(w, "PortWaitLabel")->isVisible());
    // Passes through "COM9", the name waited for, on the way.
    typePortName(w, QStringLiteral("COM90"));
    QVERIFY(!ctl<QLabel>(w, "PortWaitLabel")->isVisible());

    PtyPair replacement;
    ConsoleTestBench::publish(QStringLiteral("COM9"), replacement.portPath());
    // The list and the waiting hear of the new device together.
    QTRY_VERIFY(portBox(w)->findText(QStringLiteral("COM9")) >= 0);
    QVERIFY(showsClosed(w));
    QCOMPARE(portBox(w)->currentText(), QStringLiteral("COM90"));
}

// A virtual ports folder another user may write to is not used, and the log says so
// once: the console neither lists nor opens what its links name.
void TestPortSelection::sharedVirtualFolderIsLeftAlone()
{
    auto& w = bench_->window();
    const QString folder = QDir::cleanPath(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath("qldixw/ports"));
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    typePortName(w, QStringLiteral("COM9"));
    ModalCatcher boxes;
    // Opened, and the list read, again and again: one line all the same.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
        QTRY_COMPARE(boxes.texts().size(), attempt + 1);
        QVERIFY(showsClosed(w));
        w.refreshPortList();
    }
    const QStringList notices = bench_->consoleLines().filter(QStringLiteral("Папка виртуальных портов"));
    QCOMPARE(notices, QStringList{QStringLiteral("Папка виртуальных портов %1 не используется: в папку %1 могут писать "
                                                 "другие пользователи.")
                                      .arg(folder)});
}

void TestPortSelection::failedOpenLeavesTheClosedState()
{
    auto& w = bench_->window();
    ModalCatcher boxes;
    // A device path is opened as it stands, so its failure is the component's own.
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("ttyUSB7"));
    typePortName(w, missing);
    // The meter's panel waits for an open port, and a failed open does not enable it.
    QVERIFY(!meterPanel(*bench_)->isEnabled());
    QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
    QTRY_COMPARE(boxes.texts().size(), 1);
    QVERIFY(showsClosed(w));
    QCOMPARE(ctl<QLabel>(w, "Label11")->text(), QStringLiteral("Устройство не подключено! COM-порт ЗАКРЫТ"));
    QCOMPARE(ctl<QLabel>(w, "Label11")->palette().color(QPalette::Window), QColor(255, 0, 0));
    QVERIFY(!meterPanel(*bench_)->isEnabled());
    const QString text = boxes.texts().front();
    QVERIFY2(text.startsWith(QStringLiteral("Error accessing specified device (Error: 2)")), qPrintable(text));
    QVERIFY2(text.contains(missing), qPrintable(text));

    // The program goes on: the next choice opens.
    typePortName(w, QStringLiteral("COM9"));
    QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
    QVERIFY(showsOpen(w));
}

void TestPortSelection::closeStopsPollingAndDisablesMeterPanel()
{
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    QVERIFY(meterPanel(*bench_)->isEnabled());
    w.findChild<QTimer*>(QStringLiteral("Timer2"))->start();
    QTest::mouseClick(ctl<QPushButton>(w, "ClosePort"), Qt::LeftButton);
    QVERIFY(showsClosed(w));
    QVERIFY(!w.findChild<QTimer*>(QStringLiteral("Timer2"))->isActive());
    QVERIFY(!meterPanel(*bench_)->isEnabled());
    QCOMPARE(ctl<QLabel>(w, "Label11")->text(), QStringLiteral("COM-порт ЗАКРЫТ"));

    QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
    QVERIFY(meterPanel(*bench_)->isEnabled());
    QVERIFY(!w.findChild<QTimer*>(QStringLiteral("Timer2"))->isActive());
}

void TestPortSelection::lostDeviceClosesThePortOnce()
{
    auto& w = bench_->window();
    QVERIFY(bench_->openPort());
    ModalCatcher boxes;
    bench_->device().unplug();
    QTRY_VERIFY(!w.port().IsOpen());
    // One line in the log of the selected mode instead of a box.
    QTRY_COMPARE(bench_->consoleLines().size(), 1);
    QVERIFY(bench_->consoleLines().front().startsWith(QStringLiteral("Устройство COM9 (")));
    // A short fixed wait: it only shows that no second line follows.
    QTest::qWait(200);
    QCOMPARE(bench_->consoleLines().size(), 1);
    QCOMPARE(boxes.texts(), QStringList());
    QVERIFY(!meterPanel(*bench_)->isEnabled());
    QCOMPARE(ctl<QLabel>(w, "Label11")->text(), QStringLiteral("COM-порт ЗАКРЫТ"));
    QVERIFY(!ctl<QLabel>(w, "Label11")->isVisibleTo(&w));

    // Another device on the same name opens again, by the operator's hand too.
    PtyPair replacement;
    ConsoleTestBench::publish(QStringLiteral("COM9"), replacement.portPath());
    QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
    QVERIFY(showsOpen(w));
}

// A port another program holds: the box names it beside the hint.
void TestPortSelection::busyPortNamesItsHolder_data()
{
    QTest::addColumn<bool>("sessionTerminal");
    QTest::addColumn<QString>("holderName");
    // Another terminal program holds the lock.
    QTest::newRow("locked") << false << QStringLiteral("flock");
    // The port is a session's controlling terminal (a login on a serial console, or a
    // pty a new terminal took after a simulator died): opening it would take the
    // session's keystrokes, lock or no lock.
    QTest::newRow("a session's terminal") << true << QStringLiteral("sleep");
}

void TestPortSelection::busyPortNamesItsHolder()
{
    QFETCH(bool, sessionTerminal);
    QFETCH(QString, holderName);
    const QString port = QString::fromStdString(second_->portPath());
    QProcess holder;
    if (sessionTerminal) {
        holder.setStandardInputFile(port);
        holder.start(QStandardPaths::findExecutable(QStringLiteral("setsid")),
                     {QStringLiteral("--ctty"), QStringLiteral("sleep"), QStringLiteral("60")});
    } else {
        holder.start(QStandardPaths::findExecutable(QStringLiteral("flock")),
                     {port, QStringLiteral("sleep"), QStringLiteral("60")});
    }
    QVERIFY(holder.waitForStarted());
    const qint64 pid = holder.processId();
    // flock starts the command once it holds the lock; setsid once the terminal is its.
    const auto holding = [&] {
        if (sessionTerminal) {
            // "pid (comm) state ppid pgrp session tty_nr ...", as ps reads it.
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                return false;
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
            return fields.size() > 4 && fields[4].toLongLong() != 0;
        }
        for (const ports::PortHolder& found : ports::portHolders(port))
            if (found.program == u"sleep")
                return true;
        return false;
    };
    QTRY_VERIFY(holding());
    auto& w = bench_->window();
    ctl<QComboBox>(w, "COM")->setEditText(QStringLiteral("COM8"));
    ModalCatcher boxes;
    QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
    QTRY_COMPARE(boxes.texts().size(), 1);
    holder.kill();
    holder.waitForFinished();
    QVERIFY(showsClosed(w));
    const QString text = boxes.texts().front();
    QVERIFY2(text.contains(QStringLiteral("Порт занят другой программой: %1 (pid %2)").arg(holderName).arg(pid)),
             qPrintable(text));
}

void TestPortSelection::settingsWindow()
{
    auto& w = bench_->window();
    auto* form2 = bench_->windows().Form2();
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
    w.findChild<QAction*>(QStringLiteral("COMnastroika"))->trigger();
    QCOMPARE(shown, (QStringList{QStringLiteral("4800"), QStringLiteral("None"), QStringLiteral("2"), QStringLiteral("-1")}));
    QVERIFY(showsClosed(w));
    QCOMPARE(w.port().BaudRate(), TBaudRate::cbr4800);
    QCOMPARE(w.port().Databits(), TDatabits::da8);
    QCOMPARE(w.port().Parity(), TParity::paNone);
    QCOMPARE(w.port().Stopbits(), TStopbits::sb20);

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
    w.findChild<QAction*>(QStringLiteral("COMnastroika"))->trigger();
    QCOMPARE(w.port().BaudRate(), TBaudRate::cbr57600);
    QCOMPARE(w.port().Parity(), TParity::paMark);
    QCOMPARE(w.port().Databits(), TDatabits::da7);
    QCOMPARE(w.port().Stopbits(), TStopbits::sb10);
    QVERIFY(showsClosed(w));

    // A pseudo-terminal carries 8 data bits without parity only: it refuses the format,
    // and the window is left closed, the device released.
    {
        ModalCatcher boxes;
        QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
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
    w.findChild<QAction*>(QStringLiteral("COMnastroika"))->trigger();
    ModalCatcher boxes;
    QTest::mouseClick(ctl<QPushButton>(w, "OpenPort"), Qt::LeftButton);
    QVERIFY2(boxes.texts().isEmpty(), qPrintable(boxes.texts().join(u'|')));
    QVERIFY(showsOpen(w));
    QCOMPARE(lineSpeed(w.port().DeviceHandle()), 57600u);
}

void TestPortSelection::typedSettingsAreAppliedOrRefused_data()
{
    QTest::addColumn<QStringList>("typed"); // speed, data bits, parity, stop bits; "" leaves a list as it is
    QTest::addColumn<QString>("applied");   // the port's settings afterwards, or "refused"

    QTest::newRow("speed typed without Enter") << QStringList{"9600", "", "", ""} << "9600 8 None 2";
    QTest::newRow("a rate the list lacks") << QStringList{"56000", "", "", ""} << "56000 8 None 2";
    QTest::newRow("every list typed") << QStringList{"19200", "5", "odd", "1,5"} << "19200 5 Odd 1.5";
    QTest::newRow("speed not a number") << QStringList{"96OO", "7", "", ""} << "refused";
    QTest::newRow("speed negative") << QStringList{"-9600", "", "", ""} << "refused";
    QTest::newRow("speed unknown") << QStringList{"250000", "", "", ""} << "refused";
    QTest::newRow("data bits out of range") << QStringList{"", "9", "", ""} << "refused";
    QTest::newRow("parity unknown") << QStringList{"", "", "Четная", ""} << "refused";
}

void TestPortSelection::typedSettingsAreAppliedOrRefused()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, applied);
    auto& w = bench_->window();
    auto* form2 = bench_->windows().Form2();
    QComboBox* const lists[] = {form2->Speed, form2->BIT, form2->chetnost, form2->StopBit};
    for (int i = 0; i < 4; ++i)
        if (!typed[i].isEmpty())
            lists[i]->setEditText(typed[i]);

    ModalCatcher boxes;
    w.priminnastroiki();
    const auto& port = w.port();
    static const char* const parities[] = {"None", "Odd", "Even", "Mark", "Space"};
    static const char* const stopBits[] = {"1", "1.5", "2"};
    const QString settings = QStringLiteral("%1 %2 %3 %4")
                                 .arg(BaudRateValue(port.BaudRate()))
                                 .arg(DatabitsValue(port.Databits()))
                                 .arg(QString::fromLatin1(parities[int(port.Parity())]),
                                      QString::fromLatin1(stopBits[int(port.Stopbits())]));
    if (applied == u"refused") {
        QTRY_COMPARE(boxes.texts().size(), 1);
        QVERIFY2(boxes.texts().front().contains(QStringLiteral("не применены")), qPrintable(boxes.texts().front()));
        QCOMPARE(settings, QStringLiteral("4800 8 None 2"));
    } else {
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(settings, applied);
    }
}

QTEST_MAIN(TestPortSelection)
#include "test_portselection.moc"
