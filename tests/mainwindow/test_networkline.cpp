// The whole program on a line behind Debian's ser2net, on 127.0.0.1 only, with the
// device simulator's pseudo-terminal as the device: the console's line settings on the
// simulator's terminal, a dispenser status and a memory read answered through the
// server, the server stopped and started again under an open port, connects that fail
// while the window goes on, a bare TCP line to a plain socket, a script run from the
// command line on such lines, and hostile peers of the test's own: a server that leaves
// the line settings unanswered, resets in the middle of a reply, floods data nobody
// asked for, or closes each connection at once.

#include "consoletestbench.h"
#include "loopbackpeer.h"
#include "modalcatcher.h"
#include "serialserver.h"
#include "simulatorprocess.h"
#include "tform2.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <atomic>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qldixw::testing;
using namespace std::chrono_literals;

namespace {

// The speed of a terminal as anyone opening it sees it (stty -F).
unsigned terminalSpeed(const QString& path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const unsigned speed = fd >= 0 ? lineSpeed(fd) : 0;
    if (fd >= 0)
        ::close(fd);
    return speed;
}

// A plain socket peer for a bare TCP line: it listens on 127.0.0.1 (the test does; the
// console never listens) and takes one connection at a time.
class SocketPeer {
public:
    SocketPeer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SocketPeer()
    {
        hangUp();
        ::close(listener_);
    }
    std::uint16_t port() const { return port_; }
    bool accepted()
    {
        if (connection_ < 0)
            connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        return connection_ >= 0;
    }
    QByteArray read()
    {
        char buffer[256];
        const ssize_t n = connection_ >= 0 ? ::recv(connection_, buffer, sizeof buffer, 0) : -1;
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }
    void write(const QByteArray& bytes) { ::send(connection_, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL); }
    void hangUp()
    {
        if (connection_ >= 0)
            ::close(connection_);
        connection_ = -1;
    }

private:
    int listener_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
};

QString lostLine(const QString& name)
{
    return QStringLiteral("Устройство %1 отключено: порт закрыт, жду повторного подключения").arg(name);
}

QString backLine(const QString& name) { return QStringLiteral("Устройство %1 подключено снова, порт открыт").arg(name); }

QString closesAtOnceLine(const QString& name)
{
    return QStringLiteral("Устройство %1: сервер закрывает соединение сразу; пробую снова каждые 10 с").arg(name);
}

// A server that takes the COM port option and every setting, until `until` has come.
bool agreeAndAnswer(PeerConnection& c, std::chrono::milliseconds time, std::string_view until = {})
{
    if (!c.send(telnetbytes::agreeComPort()))
        return false;
    const bool came = c.answerComPortRequests(time, until);
    return until.empty() || came;
}

int countStarting(const QStringList& lines, const QString& start)
{
    int n = 0;
    for (const QString& line : lines)
        n += line.startsWith(start) ? 1 : 0;
    return n;
}

} // namespace

class TestNetworkLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void answeredThroughTheServer_data();
    void answeredThroughTheServer();
    void serverStoppedAndStartedAgain();
    void connectsThatFail_data();
    void connectsThatFail();
    void bareTcpLineToASocket();
    void scriptFromTheCommandLine_data();
    void scriptFromTheCommandLine();
    void settingsLeftUnanswered();
    void replyCutByAReset_data();
    void replyCutByAReset();
    void floodNobodyAskedFor();
    void serverThatClosesAtOnce_data();
    void serverThatClosesAtOnce();
    void serverThatNeverReadsItsAnswers();

private:
    QComboBox* portList() { return bench_->control<QComboBox>(QStringLiteral("COM")); }
    QPushButton* button(const char* name) { return bench_->control<QPushButton>(QString::fromLatin1(name)); }
    QLabel* waitLabel() { return bench_->control<QLabel>(QStringLiteral("PortWaitLabel")); }
    void open(const QString& name)
    {
        portList()->setEditText(name);
        QTest::mouseClick(button("OpenPort"), Qt::LeftButton);
    }
    bool opened() { return bench_->line().portOpen() && button("ClosePort")->isEnabled() && !button("OpenPort")->isEnabled(); }
    // Starts the simulator of a family and publishes it through ser2net.
    void serve(const char* family);
    void sendStatusRequest();

    std::unique_ptr<ConsoleTestBench> bench_;
    QTemporaryDir links_;
    std::unique_ptr<SimulatorProcess> sim_;
    std::unique_ptr<SerialServer> server_;
};

void TestNetworkLine::initTestCase()
{
    if (!SerialServer::available())
        QFAIL("ser2net is not installed (scripts/deps.sh installs it)");
}

void TestNetworkLine::init() { bench_ = std::make_unique<ConsoleTestBench>(); }

void TestNetworkLine::cleanup()
{
    bench_.reset();
    server_.reset();
    sim_.reset();
}

void TestNetworkLine::serve(const char* family)
{
    sim_ = std::make_unique<SimulatorProcess>(links_.filePath(QStringLiteral("line")),
                                              QStringList{QStringLiteral("--family"), QString::fromLatin1(family)});
    QVERIFY(sim_->started());
    server_ = std::make_unique<SerialServer>(sim_->ptyPath().toStdString());
    QVERIFY(server_->running());
}

void TestNetworkLine::sendStatusRequest()
{
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QVERIFY(bench_->waitIdle());
    const QString reply = withoutTimeStamp(bench_->consoleLines().last());
    QVERIFY2(reply.startsWith(QStringLiteral("PC<-  01 81")), qPrintable(reply));
}

void TestNetworkLine::answeredThroughTheServer_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("speed");
    QTest::newRow("dispenser status at 19200") << "dix" << "19200";
    QTest::newRow("memory read at 115200") << "ql" << "115200";
}

void TestNetworkLine::answeredThroughTheServer()
{
    QFETCH(QString, family);
    QFETCH(QString, speed);
    serve(family.toLatin1().constData());
    ModalCatcher boxes;
    auto* settings = bench_->windows().Form2();
    settings->Speed->setCurrentIndex(settings->Speed->findText(speed));
    bench_->window().priminnastroiki();
    const QString name = QString::fromStdString(server_->name());
    open(name);
    QTRY_VERIFY_WITH_TIMEOUT(opened(), 10000);
    // The name as typed, in the box and now in its list.
    QCOMPARE(portList()->currentText(), name);
    QVERIFY(portList()->findText(name) >= 0);
    QCOMPARE(terminalSpeed(sim_->ptyPath()), speed.toUInt());
    if (family == u"dix") {
        sendStatusRequest();
    } else {
        bench_->selectMode(ModeQL);
        auto* ir = bench_->control<QLineEdit>(QStringLiteral("adressIR"));
        ir->clear();
        for (QChar c : QStringLiteral("24"))
            QTest::sendKeyEvent(QTest::Click, ir, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::keyClick(ir, Qt::Key_Return);
        QVERIFY(bench_->waitIdle(20000));
        QCOMPARE(bench_->control<QLineEdit>(QStringLiteral("contIR"))->text(), QStringLiteral("24"));
    }
    QCOMPARE(boxes.texts(), QStringList());
}

void TestNetworkLine::serverStoppedAndStartedAgain()
{
    serve("dix");
    ModalCatcher boxes;
    const QString name = QString::fromStdString(server_->name());
    open(name);
    QTRY_VERIFY_WITH_TIMEOUT(opened(), 10000);

    // Stopped while open: one line, the waiting status, no box.
    const qsizetype before = bench_->consoleLines().size();
    server_->stop();
    QTRY_VERIFY(waitLabel()->isVisible() && !bench_->line().portOpen() && button("ClosePort")->isEnabled());
    QCOMPARE(bench_->consoleLines().mid(before), QStringList{lostLine(name)});
    QCOMPARE(portList()->currentText(), name);

    // Started again: tried again on its own, reopened, and it answers. The connection
    // before ended at once, so the return is said once it has lasted.
    QVERIFY(server_->start());
    QTRY_VERIFY_WITH_TIMEOUT(opened(), 15000);
    QVERIFY(!waitLabel()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(bench_->consoleLines().mid(before), (QStringList{lostLine(name), backLine(name)}), 10000);
    sendStatusRequest();
    QCOMPARE(boxes.texts(), QStringList());
}

void TestNetworkLine::connectsThatFail_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("said"); // parts of the one box
    QTest::newRow("nothing listens") << "closed" << QStringList{"Error accessing specified device (Error: 111) ",
                                                                "никто не слушает"};
    QTest::newRow("a server that does not answer")
        << "silent" << QStringList{"Error accessing specified device (Error: 110) ", "не ответил за 5 с"};
    QTest::newRow("not a network name") << "invalid" << QStringList{"не адрес сетевого порта", "Ничего не открыто"};
}

void TestNetworkLine::connectsThatFail()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, said);
    SilentServer silent;
    QString name = QStringLiteral("rfc2217://127.0.0.1:%1").arg(freeLoopbackPort());
    if (kind == u"silent")
        name = QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.port());
    else if (kind == u"invalid")
        name = QStringLiteral("rfc2217://127.0.0.1:70000");
    ModalCatcher boxes;
    // The window's own timers keep running while the connect waits.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    open(name);
    if (kind == u"silent") {
        // Connecting: "Закрыть" would give it up, and the window goes on meanwhile.
        QVERIFY(!button("OpenPort")->isEnabled() && button("ClosePort")->isEnabled());
        QVERIFY(waitLabel()->isVisible());
        QTRY_VERIFY(ticks >= 25);
        auto* console = bench_->control<QLineEdit>(QStringLiteral("otpravedit"));
        console->clear();
        QTest::sendKeyEvent(QTest::Click, console, Qt::Key_unknown, QStringLiteral("6"), Qt::NoModifier);
        QCOMPARE(console->text(), QStringLiteral("6"));
        QVERIFY(boxes.texts().isEmpty());
    }
    QTRY_COMPARE_WITH_TIMEOUT(boxes.texts().size(), 1, 15000);
    for (const QString& part : said)
        QVERIFY2(boxes.texts().first().contains(part), qPrintable(boxes.texts().first()));
    QVERIFY(boxes.texts().first().contains(name));
    QVERIFY(!bench_->line().portOpen());
    QVERIFY(button("OpenPort")->isEnabled() && !button("ClosePort")->isEnabled());
    QVERIFY(!waitLabel()->isVisible());
    QCOMPARE(portList()->currentText(), name);
}

void TestNetworkLine::bareTcpLineToASocket()
{
    SocketPeer peer;
    ModalCatcher boxes;
    const QString name = QStringLiteral("tcp://127.0.0.1:%1").arg(peer.port());
    const qsizetype before = bench_->consoleLines().size();
    open(name);
    QTRY_VERIFY_WITH_TIMEOUT(opened(), 10000);
    QVERIFY(peer.accepted());
    const QStringList notes = bench_->consoleLines().mid(before);
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes.first().startsWith(name + QStringLiteral(": простой канал TCP")), qPrintable(notes.first()));

    // The bytes as they are: no Telnet, 0xFF single both ways.
    bench_->typeAndSend(QStringLiteral("FF 01 81 *"));
    const QString sent = withoutTimeStamp(bench_->consoleLines().last());
    QVERIFY2(sent.startsWith(QStringLiteral("PC->  FF 01 81 ")), qPrintable(sent));
    QByteArray got;
    QTRY_VERIFY((got += peer.read()).size() >= 4);
    QCOMPARE(got.toHex(' ').toUpper(), sent.mid(6).toLatin1());
    peer.write(QByteArray::fromHex("01ff02"));
    QVERIFY(bench_->waitIdle());
    const QString reply = withoutTimeStamp(bench_->consoleLines().last());
    QVERIFY2(reply.startsWith(QStringLiteral("PC<-  01 FF 02")), qPrintable(reply));

    // The peer hangs up: the same line and wait as an unplugged adapter, then it is
    // tried again and taken.
    peer.hangUp();
    QTRY_VERIFY(bench_->consoleLines().contains(lostLine(name)));
    QTRY_VERIFY_WITH_TIMEOUT(peer.accepted(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(opened(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(bench_->consoleLines().last(), backLine(name), 10000);
    QCOMPARE(boxes.texts(), QStringList());
}

void TestNetworkLine::scriptFromTheCommandLine_data()
{
    QTest::addColumn<QString>("line"); // "rfc2217", "tcp" (ser2net before the simulator) or "closed"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // the last line of standard output, or a part of standard error
    QTest::newRow("rfc2217") << "rfc2217" << 0 << "1 passed, 0 failed";
    QTest::newRow("tcp") << "tcp" << 0 << "1 passed, 0 failed";
    QTest::newRow("nothing listens") << "closed" << 2 << "никто не слушает";
}

// The run waits for the connect as the window does, then runs; a line that cannot
// connect is refused with the reason.
void TestNetworkLine::scriptFromTheCommandLine()
{
    QFETCH(QString, line);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QString name = QStringLiteral("tcp://127.0.0.1:%1").arg(freeLoopbackPort());
    if (line != u"closed") {
        sim_ = std::make_unique<SimulatorProcess>(links_.filePath(QStringLiteral("line")),
                                                  QStringList{QStringLiteral("--family"), QStringLiteral("dix")});
        QVERIFY(sim_->started());
        server_ = std::make_unique<SerialServer>(
            sim_->ptyPath().toStdString(), line == u"tcp" ? SerialServer::Kind::RawTcp : SerialServer::Kind::Rfc2217);
        QVERIFY(server_->running());
        name = QString::fromStdString(server_->name());
    }
    QTemporaryFile script(QDir::tempPath() + QStringLiteral("/XXXXXX.qlt"));
    QVERIFY(script.open());
    script.write("case status\nsend 60 01 81 *\nexpect 01 81 ... *\n");
    script.close();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(variable));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QLDIXW_PROGRAM), {QStringLiteral("--script"), script.fileName(), QStringLiteral("--port"), name});
    QVERIFY(program.waitForFinished(30000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
    const QString err = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == exitCode, qPrintable(out + err));
    if (exitCode == 2)
        QVERIFY2(err.contains(said) && err.contains(name), qPrintable(err));
    else
        QCOMPARE(out.section(u'\n', -1), said);
}

// A server that takes the option and never answers a setting: the window goes on while
// the answers are awaited, and the refusal comes as the connect's own failure would.
void TestNetworkLine::settingsLeftUnanswered()
{
    LoopbackPeer peer([](PeerConnection& c) {
        if (c.send(telnetbytes::agreeComPort()))
            c.idle(60s);
    });
    ModalCatcher boxes;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    clock.start();
    ticker.start(20);
    open(QString::fromStdString(peer.name(true)));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.texts().size(), 1, 20000);
    ticker.stop();
    QVERIFY2(boxes.texts().first().contains(QStringLiteral("did not answer SET-")), qPrintable(boxes.texts().first()));
    QVERIFY(!bench_->line().portOpen());
    // The answers' own wait is 3 s: a gap anywhere near it was that wait on this thread.
    QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
}

void TestNetworkLine::replyCutByAReset_data()
{
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("rfc2217") << true;
    QTest::newRow("tcp") << false;
}

// Half a reply, then a reset: what came is logged as the reply, as a serial device that
// goes leaves its bytes, not "TimeOut".
void TestNetworkLine::replyCutByAReset()
{
    QFETCH(bool, rfc2217);
    const std::string request("\x60\x01\x81", 3);
    LoopbackPeer peer([&](PeerConnection& c) {
        const bool asked = rfc2217 ? agreeAndAnswer(c, 20s, request) : c.answerComPortRequests(20s, request);
        if (!asked)
            return;
        c.send(std::string("\x01\x81\x00\x12", 4));
        c.idle(200ms);
        c.reset();
    });
    ModalCatcher boxes;
    const QString name = QString::fromStdString(peer.name(rfc2217));
    open(name);
    QTRY_VERIFY_WITH_TIMEOUT(opened(), 10000);
    const qsizetype before = bench_->consoleLines().size();
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QTRY_VERIFY_WITH_TIMEOUT(bench_->consoleLines().contains(lostLine(name)), 10000);
    QVERIFY(bench_->waitIdle());
    QStringList lines;
    for (const QString& line : bench_->consoleLines().mid(before))
        lines << withoutTimeStamp(line);
    QVERIFY2(countStarting(lines, QStringLiteral("PC<-  01 81 00 12")) == 1, qPrintable(lines.join(u'\n')));
    QVERIFY2(!lines.contains(QStringLiteral("TimeOut")), qPrintable(lines.join(u'\n')));
    QCOMPARE(boxes.texts(), QStringList());
}

// Data no request asked for, more than anyone reads: the line keeps what a serial port's
// buffer would, the log says once that the server is held back, and the next reply
// window still reads what waits.
void TestNetworkLine::floodNobodyAskedFor()
{
    LoopbackPeer peer([](PeerConnection& c) {
        const std::string data(4096, '\x55');
        while (c.send(data)) {
        }
    });
    const QString name = QString::fromStdString(peer.name(false));
    open(name);
    QTRY_VERIFY_WITH_TIMEOUT(opened(), 10000);
    const QString held = name + QStringLiteral(": 4096 байт ждут чтения");
    QTRY_COMPARE_WITH_TIMEOUT(countStarting(bench_->consoleLines(), held), 1, 10000);
    for (int i = 0; i < 2; ++i) {
        bench_->typeAndSend(QStringLiteral("60 01 81 *"));
        QVERIFY(bench_->waitIdle());
        QVERIFY2(withoutTimeStamp(bench_->consoleLines().last()).startsWith(QStringLiteral("PC<-  55 55 55")),
                 qPrintable(bench_->consoleLines().last()));
        QTRY_COMPARE_WITH_TIMEOUT(bench_->line().receivedByteCount(), 4096, 10000);
    }
    QCOMPARE(countStarting(bench_->consoleLines(), held), 1);
    QVERIFY(bench_->line().portOpen());
}

void TestNetworkLine::serverThatClosesAtOnce_data()
{
    QTest::addColumn<QString>("server"); // "rfc2217 peer", "tcp peer" or "ser2net"
    QTest::newRow("rfc2217 peer") << "rfc2217 peer";
    QTest::newRow("tcp peer") << "tcp peer";
    // ser2net while another client holds its port: "Port already in use", then closed.
    QTest::newRow("ser2net, its port held") << "ser2net";
}

// Each connection closed at once: tried at growing pauses as a server that is not there,
// the state said once, and the line taken when the server takes it again.
void TestNetworkLine::serverThatClosesAtOnce()
{
    QFETCH(QString, server);
    const bool rfc2217 = server == u"rfc2217 peer";
    std::atomic<bool> closing{false};
    LoopbackPeer peer([&](PeerConnection& c) {
        if (closing)
            return;
        if (rfc2217 && !agreeAndAnswer(c, 500ms))
            return;
        while (!closing && !c.stopping())
            c.idle(50ms);
    });
    QString name = QString::fromStdString(peer.name(rfc2217));
    int holder = -1;
    if (server == u"ser2net") {
        sim_ = std::make_unique<SimulatorProcess>(links_.filePath(QStringLiteral("line")),
                                                  QStringList{QStringLiteral("--family"), QStringLiteral("dix")});
        QVERIFY(sim_->started());
        server_ = std::make_unique<SerialServer>(sim_->ptyPath().toStdString(), SerialServer::Kind::RawTcp);
        QVERIFY(server_->running());
        name = QString::fromStdString(server_->name());
        holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(server_->port());
        QVERIFY(::connect(holder, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    }
    ModalCatcher boxes;
    const qsizetype before = bench_->consoleLines().size();
    open(name);
    if (server != u"ser2net") {
        // A line that works, then a server that closes every connection.
        QTRY_VERIFY_WITH_TIMEOUT(opened(), 10000);
        closing = true;
    }
    QTRY_COMPARE_WITH_TIMEOUT(countStarting(bench_->consoleLines(), closesAtOnceLine(name)), 1, 30000);
    if (server != u"ser2net") {
        // The pauses grow as for a server that is not there: 0.5 s, 1 s, 2 s, 4 s ...
        const int seen = peer.accepted();
        QTRY_VERIFY_WITH_TIMEOUT(peer.accepted() >= seen + 2, 30000);
        const auto times = peer.acceptTimes();
        const auto lastGap = times[times.size() - 1] - times[times.size() - 2];
        QVERIFY2(lastGap >= 1500ms, qPrintable(QString::number(std::chrono::duration<double>(lastGap).count())));
        closing = false;
    } else {
        ::close(holder);
    }
    // Taken again once the server keeps a connection: said when it has lasted.
    QTRY_VERIFY_WITH_TIMEOUT(bench_->consoleLines().contains(backLine(name)), 30000);
    QVERIFY(opened());
    const QStringList lines = bench_->consoleLines().mid(before);
    QCOMPARE(countStarting(lines, lostLine(name)), 1);
    QCOMPARE(countStarting(lines, closesAtOnceLine(name)), 1);
    QCOMPARE(countStarting(lines, backLine(name)), 1);
    QCOMPARE(boxes.texts(), QStringList());
}

// Telnet negotiation as fast as it can, the answers never read: dropped as misbehaving,
// said once, and tried again at growing pauses.
void TestNetworkLine::serverThatNeverReadsItsAnswers()
{
    LoopbackPeer peer([](PeerConnection& c) {
        if (!agreeAndAnswer(c, 500ms))
            return;
        std::string burst;
        for (int i = 0; i < 512; ++i)
            burst += std::string("\xff\xfd\x63\xff\xfa\x2c\x64\xff\xf0", 9);
        while (c.send(burst)) {
        }
    });
    ModalCatcher boxes;
    const QString name = QString::fromStdString(peer.name(true));
    const QString dropped = QStringLiteral("Устройство %1: сервер шлёт запросы согласования быстрее, чем читает ответы").arg(name);
    open(name);
    QTRY_COMPARE_WITH_TIMEOUT(countStarting(bench_->consoleLines(), dropped), 1, 20000);
    // Connected to again, and dropped again, in silence.
    const int seen = peer.accepted();
    QTRY_VERIFY_WITH_TIMEOUT(peer.accepted() >= seen + 2, 30000);
    QCOMPARE(countStarting(bench_->consoleLines(), dropped), 1);
    QCOMPARE(countStarting(bench_->consoleLines(), lostLine(name)), 1);
    QCOMPARE(boxes.texts(), QStringList());
}

QTEST_MAIN(TestNetworkLine)
#include "test_networkline.moc"
