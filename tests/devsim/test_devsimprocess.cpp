// The simulator as a program: started as the console's tests and run.sh start it,
// talked to over its pseudo-terminal, stopped by a signal.

#include "dixdevice.h"
#include "framing.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace devsim;

namespace {

// The slave end, opened as the console opens a serial port.
class Port {
public:
    explicit Port(const QString& path) : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios raw{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(m_fd, TCSANOW, &raw);
        }
    }
    ~Port() { close(); }
    bool isOpen() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void send(const QByteArray& bytes) { QCOMPARE(::write(m_fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size())); }

    // Reads until count bytes came or the time is up; pieces counts the reads that
    // brought something.
    QByteArray read(qsizetype count, int timeoutMs, int* pieces = nullptr)
    {
        QByteArray bytes;
        QElapsedTimer clock;
        clock.start();
        while (bytes.size() < count && clock.elapsed() < timeoutMs) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, int(timeoutMs - clock.elapsed())) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                bytes.append(buffer, n);
                if (pieces)
                    ++*pieces;
            }
        }
        return bytes;
    }

private:
    int m_fd;
};

struct Sim {
    Sim() = default;
    Sim(Sim&&) = default;
    ~Sim()
    {
        if (process && process->state() != QProcess::NotRunning) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QString ptyPath;
    QString linkPath;
    QString log; // what --verbose wrote so far

    // Waits until the verbose log has a line that ends with `text` (blanks compared as one).
    bool waitForLog(const QString& text, int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            log += QString::fromLocal8Bit(process->readAllStandardError());
            for (const QString& line : log.split(u'\n'))
                if (line.simplified().endsWith(text))
                    return true;
            if (clock.elapsed() >= timeoutMs || process->state() != QProcess::Running)
                return false;
            process->waitForReadyRead(100);
        }
    }
};

// Starts the simulator and waits for its ready line.
Sim startSim(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    Sim sim;
    sim.process->setProcessEnvironment(env);
    sim.process->start(QStringLiteral(QLDIXW_DEVSIM_PATH), args);
    if (!sim.process->waitForStarted(5000))
        return sim;
    QElapsedTimer clock;
    clock.start();
    while (!sim.process->canReadLine() && clock.elapsed() < 5000 && sim.process->state() == QProcess::Running)
        sim.process->waitForReadyRead(100);
    const QStringList ready = QString::fromLocal8Bit(sim.process->readLine()).trimmed().split(u' ');
    if (ready.size() == 3 && ready[0] == u"ready") {
        sim.ptyPath = ready[1];
        sim.linkPath = ready[2];
    }
    return sim;
}

const QByteArray kStatusRequest = QByteArray::fromHex("600181FB");

} // namespace

class TestDevsimProcess : public QObject {
    Q_OBJECT
private slots:
    void statusAndVersion();
    void replyOptions_data();
    void replyOptions();
    void reopenedPortGetsNoStaleReply();
    void unsolicitedBytes();
    void defaultPortDirectory();
    void cleanExit_data();
    void cleanExit();
    void refusals_data();
    void refusals();
    void lineSettings_data();
    void lineSettings();
};

void TestDevsimProcess::statusAndVersion()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("COM9");
    Sim sim = startSim({"--link", link});
    QCOMPARE(sim.linkPath, link);
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath);

    Port port(link);
    QVERIFY(port.isOpen());
    port.send(kStatusRequest);
    const QByteArray status = port.read(8, 3000);
    QCOMPARE(status.size(), 8);
    QVERIFY(checksumOk(status));
    QCOMPARE(status.left(2), QByteArray::fromHex("0181"));

    port.send(QByteArray::fromHex("600100F830"));
    QCOMPARE(port.read(1, 3000), QByteArray(1, '\x06'));
    port.send(QByteArray(1, '\x31'));
    const QByteArray expected = closeFrame(DixDevice::versionText());
    QCOMPARE(port.read(expected.size(), 3000), expected);

    sim.process->terminate();
    QVERIFY(sim.process->waitForFinished(5000));
    QCOMPARE(sim.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process->exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestDevsimProcess::replyOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("count");     // bytes of the reply
    QTest::addColumn<bool>("goodSum");
    QTest::addColumn<int>("pieces");    // reads it arrives in, at least

    QTest::newRow("plain") << QStringList{} << 8 << true << 1;
    QTest::newRow("delayed") << QStringList{"--delay", "150"} << 8 << true << 1;
    QTest::newRow("bad checksum") << QStringList{"--bad-checksum"} << 8 << false << 1;
    QTest::newRow("split") << QStringList{"--split", "400"} << 8 << true << 2;
    QTest::newRow("silent") << QStringList{"--silent"} << 0 << false << 0;
    QTest::newRow("another address") << QStringList{"--address", "05"} << 0 << false << 0;
}

void TestDevsimProcess::replyOptions()
{
    QFETCH(QStringList, args);
    QFETCH(int, count);
    QFETCH(bool, goodSum);
    QFETCH(int, pieces);

    QTemporaryDir dir;
    Sim sim = startSim(QStringList{"--link", dir.filePath("COM9")} + args);
    Port port(sim.linkPath);
    QVERIFY(port.isOpen());
    port.send(kStatusRequest);
    int arrived = 0;
    const QByteArray reply = port.read(8, count ? 3000 : 600, &arrived);
    QCOMPARE(reply.size(), count);
    QVERIFY(arrived >= pieces);
    if (count)
        QCOMPARE(checksumOk(reply), goodSum);
    if (pieces > 1)
        QCOMPARE(reply.left(2), QByteArray::fromHex("0181")); // the halves in order
}

void TestDevsimProcess::reopenedPortGetsNoStaleReply()
{
    QTemporaryDir dir;
    Sim sim = startSim({"--link", dir.filePath("COM9"), "--delay", "1000", "--verbose"});
    {
        Port port(sim.linkPath);
        port.send(kStatusRequest);
        QVERIFY(sim.waitForLog(QStringLiteral("in 60 01 81 FB")));
    }
    QVERIFY(sim.waitForLog(QStringLiteral("port closed by the other side")));
    if (sim.log.simplified().contains(QStringLiteral("out 01 81")))
        QSKIP("the reply went out before the port closed: the machine was too slow to close it in time");
    // The status of hose 2 this time: a stale reply of hose 1 would come first.
    Port port(sim.linkPath);
    port.send(QByteArray::fromHex("600182FD"));
    QCOMPARE(port.read(8, 5000).left(2).toHex(' '), QByteArray("01 82"));
}

void TestDevsimProcess::unsolicitedBytes()
{
    QTemporaryDir dir;
    Sim sim = startSim({"--link", dir.filePath("COM9"), "--unsolicited", "AA 55", "--unsolicited-every", "100"});
    Port port(sim.linkPath);
    const QByteArray bytes = port.read(4, 3000);
    QVERIFY2(bytes.startsWith(QByteArray::fromHex("AA55AA55")), bytes.toHex(' ').constData());
}

void TestDevsimProcess::defaultPortDirectory()
{
    QTemporaryDir runtime;
    const QString directory = runtime.filePath("qldixw/ports");
    QVERIFY(QDir().mkpath(directory));
    const QString link = directory + "/COM7";
    QVERIFY(QFile::link("/nonexistent/pts/99", link)); // left by a killed run

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    Sim sim = startSim({"--port", "COM7"}, env);
    QCOMPARE(sim.linkPath, link);
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath);
    sim.process->terminate();
    QVERIFY(sim.process->waitForFinished(5000));
    QVERIFY(!QFileInfo(link).isSymLink());

    // A fresh directory is made private to the user.
    QVERIFY(QDir(runtime.path()).removeRecursively());
    QVERIFY(QDir().mkpath(runtime.path()));
    Sim fresh = startSim({"--port", "COM7"}, env);
    QCOMPARE(fresh.linkPath, link);
    struct stat st{};
    QCOMPARE(::stat(QFile::encodeName(directory).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0700u);
    fresh.process->terminate();
    QVERIFY(fresh.process->waitForFinished(5000));

    // A directory others may write to is not published in: the console would not look.
    QCOMPARE(::chmod(QFile::encodeName(directory).constData(), 0770), 0);
    Sim refused = startSim({"--port", "COM7"}, env);
    QVERIFY(refused.process->state() == QProcess::NotRunning || refused.process->waitForFinished(5000));
    QCOMPARE(refused.process->exitCode(), 1);
    const QString error = QString::fromLocal8Bit(refused.process->readAllStandardError());
    QVERIFY2(error.contains(directory + " may be written to by other users"), qPrintable(error));
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestDevsimProcess::cleanExit_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestDevsimProcess::cleanExit()
{
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    Sim sim = startSim({"--link", dir.filePath("COM9")});
    QVERIFY(QFileInfo(sim.linkPath).isSymLink());
    ::kill(pid_t(sim.process->processId()), signalNumber);
    QVERIFY(sim.process->waitForFinished(5000));
    QCOMPARE(sim.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process->exitCode(), 0);
    QVERIFY(!QFileInfo(sim.linkPath).isSymLink());
}

void TestDevsimProcess::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("fileInTheWay");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("bad option") << QStringList{"--family", "pump"} << false << 2;
    QTest::newRow("file at the link path") << QStringList{} << true << 1;
}

void TestDevsimProcess::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(bool, fileInTheWay);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString link = dir.filePath("COM9");
    if (fileInTheWay) {
        QFile file(link);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    QProcess process;
    process.start(QStringLiteral(QLDIXW_DEVSIM_PATH), QStringList{"--link", link} + args);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY(!process.readAllStandardError().isEmpty());
    QCOMPARE(QFileInfo(link).isSymLink(), false);
    if (fileInTheWay) {
        QFile file(link);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me"));
    }
}

void TestDevsimProcess::lineSettings_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("kernelDefaults");
    QTest::newRow("raw") << QStringList{} << false;
    QTest::newRow("kernel defaults") << QStringList{"--tty-defaults"} << true;
}

// What a program opening the port finds before it sets the line up.
void TestDevsimProcess::lineSettings()
{
    QFETCH(QStringList, args);
    QFETCH(bool, kernelDefaults);
    QTemporaryDir dir;
    Sim sim = startSim(QStringList{"--link", dir.filePath("COM9")} + args);
    QVERIFY(!sim.ptyPath.isEmpty());
    const int fd = ::open(QFile::encodeName(sim.ptyPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios t{};
    const int got = ::tcgetattr(fd, &t);
    ::close(fd);
    QCOMPARE(got, 0);
    QCOMPARE(bool(t.c_iflag & IXON), kernelDefaults);
    QCOMPARE(bool(t.c_lflag & (ICANON | ECHO)), kernelDefaults);
}

QTEST_GUILESS_MAIN(TestDevsimProcess)
#include "test_devsimprocess.moc"
