// What a flood costs, driven as an operator drives the raw console: Enter every 100 ms
// in the console line ("60 01 81 *"), a device on the pseudo-terminal answering each
// request at once, with 8 bytes (the driving alone) or with 4096 bytes (a flood: each
// reply window becomes one log line of about 12,300 characters). The CPU the flood adds
// per MiB taken in is the difference of the two runs' CPU over the 4096-byte run's
// intake. Beside it, CuteCom on a pseudo-terminal fed the same bytes at the same rate,
// showing them as text and then in hex: its whole CPU per MiB taken in.
//
// Both run on one private Xvfb display when Xvfb is installed; without it the console
// runs offscreen and CuteCom, which has to be clicked, is left out. Each run is a fresh
// process; CPU is the process's own (the simulated device's thread is not counted).
//
//   bench_flood [seconds-per-run] [runs]         (defaults 30 and 3)
//   bench_flood console short|long SECONDS       one run of the console, its figures on stdout

#include "benchfigures.h"
#include "consoletestbench.h"
#include "ptypair.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using bench::percentile;
using bench::processCpuSeconds;
using bench::threadCpuSeconds;

namespace {

constexpr int kEnterEveryMs = 100;
constexpr int kFloodReply = 4096;
constexpr int kShortReply = 8;

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Bytes the received-frame lines of a log show: the hex pairs after each "PC<- (…)".
long long bytesShown(const QStringList& lines)
{
    long long count = 0;
    for (const QString& line : lines) {
        if (!line.startsWith(QStringLiteral("PC<-")))
            continue;
        const qsizetype close = line.indexOf(u')');
        QStringView rest = QStringView(line).sliced(close + 1);
        if (const qsizetype csm = rest.indexOf(QStringLiteral(" CSM")); csm >= 0)
            rest = rest.first(csm);
        for (const QStringView token : rest.split(u' ', Qt::SkipEmptyParts))
            count += token.size() == 2 ? 1 : 0;
    }
    return count;
}

// One run of the console, in this process: prints "cpu-seconds bytes-taken-in bytes-in-log seconds".
int consoleRun(int argc, char* argv[], int replySize, double seconds)
{
    QApplication app(argc, argv);
    qldixw::testing::ConsoleTestBench bench;
    if (!bench.openPort()) {
        std::fprintf(stderr, "could not open the port\n");
        return 1;
    }
    auto* edit = bench.control<QLineEdit>(QStringLiteral("otpravedit"));
    edit->setText(QStringLiteral("60 01 81 *"));

    std::string reply(std::size_t(replySize), '\0');
    for (std::size_t i = 0; i < reply.size(); ++i)
        reply[i] = char((i * 37 + 11) & 0xFF);
    auto& device = bench.device();
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        while (!stop) {
            pollfd p{device.deviceFd(), POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN) && !device.receiveAvailable().empty())
                device.send(reply);
        }
    });

    long long intake = 0;
    QObject::connect(&bench.line(), &transport::Transport::replyRead, &app, [&](int bytes) { intake += bytes; });
    QTimer enter;
    QObject::connect(&enter, &QTimer::timeout, edit, [edit] { QTest::keyClick(edit, Qt::Key_Return); });

    QApplication::processEvents();
    const double cpuBefore = processCpuSeconds() - threadCpuSeconds(peer.native_handle());
    QElapsedTimer clock;
    clock.start();
    enter.start(kEnterEveryMs);
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    enter.stop();
    const double cpu = processCpuSeconds() - threadCpuSeconds(peer.native_handle()) - cpuBefore;
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    stop = true;
    peer.join();
    bench.waitIdle();
    std::printf("%.4f %lld %lld %.3f\n", cpu, intake, bytesShown(bench.consoleLines()), elapsed);
    return 0;
}

struct ConsoleFigures {
    double cpu = 0;
    double intake = 0;
    double logged = 0;
    double seconds = 0;
};

bool runConsole(const QString& self, const QStringList& env, const char* kind, double seconds, ConsoleFigures& out)
{
    QProcess child;
    child.setEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(self, {QStringLiteral("console"), QString::fromLatin1(kind), QString::number(seconds)});
    if (!child.waitForFinished(int(seconds * 1000) + 60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "the console run failed: %s\n", child.readAllStandardError().constData());
        return false;
    }
    const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    if (words.size() != 4)
        return false;
    out = {words[0].toDouble(), words[1].toDouble(), words[2].toDouble(), words[3].toDouble()};
    return true;
}

// A private X server on the first free display from :120 on; stopped with the object.
class PrivateDisplay {
public:
    PrivateDisplay()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        for (int n = 120; n < 220; ++n) {
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
            if (QFile::exists(socket) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            const QString name = QStringLiteral(":%1").arg(n);
            server_.setStandardErrorFile(QProcess::nullDevice());
            server_.setStandardOutputFile(QProcess::nullDevice());
            server_.start(xvfb, {name, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                 QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            QElapsedTimer waited;
            waited.start();
            while (server_.state() != QProcess::NotRunning && !QFile::exists(socket) && waited.elapsed() < 20000)
                server_.waitForFinished(20);
            if (server_.state() == QProcess::Running && QFile::exists(socket)) {
                name_ = name;
                return;
            }
            stop();
        }
    }
    ~PrivateDisplay() { stop(); }

    bool ok() const { return !name_.isEmpty(); }
    const QString& name() const { return name_; }

private:
    void stop()
    {
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            if (!server_.waitForFinished(5000))
                server_.kill();
            server_.waitForFinished(5000);
        }
    }
    QProcess server_;
    QString name_;
};

// Mouse clicks on a display through the X test extension, loaded when wanted: the
// benchmark needs no X development files to build, and leaves CuteCom out without them.
class Clicker {
public:
    explicit Clicker(const QString& display)
    {
        x11_ = dlopen("libX11.so.6", RTLD_NOW);
        xtst_ = dlopen("libXtst.so.6", RTLD_NOW);
        if (!x11_ || !xtst_)
            return;
        open_ = reinterpret_cast<OpenFn>(dlsym(x11_, "XOpenDisplay"));
        close_ = reinterpret_cast<DisplayFn>(dlsym(x11_, "XCloseDisplay"));
        flush_ = reinterpret_cast<DisplayFn>(dlsym(x11_, "XFlush"));
        motion_ = reinterpret_cast<MotionFn>(dlsym(xtst_, "XTestFakeMotionEvent"));
        button_ = reinterpret_cast<ButtonFn>(dlsym(xtst_, "XTestFakeButtonEvent"));
        if (open_ && close_ && flush_ && motion_ && button_)
            display_ = open_(display.toLocal8Bit().constData());
    }
    ~Clicker()
    {
        if (display_)
            close_(display_);
        if (xtst_)
            dlclose(xtst_);
        if (x11_)
            dlclose(x11_);
    }
    bool ok() const { return display_ != nullptr; }
    void click(int x, int y)
    {
        motion_(display_, -1, x, y, 0);
        button_(display_, 1, 1, 0);
        button_(display_, 1, 0, 0);
        flush_(display_);
    }

private:
    using OpenFn = void* (*)(const char*);
    using DisplayFn = int (*)(void*);
    using MotionFn = int (*)(void*, int, int, int, unsigned long);
    using ButtonFn = int (*)(void*, unsigned, int, unsigned long);
    void* x11_ = nullptr;
    void* xtst_ = nullptr;
    OpenFn open_ = nullptr;
    DisplayFn close_ = nullptr;
    DisplayFn flush_ = nullptr;
    MotionFn motion_ = nullptr;
    ButtonFn button_ = nullptr;
    void* display_ = nullptr;
};

double processCpuOf(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < text.size()) {
        const std::size_t space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        if (space == std::string::npos)
            break;
        at = space + 1;
    }
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 after the name.
    if (fields.size() < 13)
        return 0;
    return (std::stod(fields[11]) + std::stod(fields[12])) / double(sysconf(_SC_CLK_TCK));
}

bool holdsPort(qint64 pid, const std::string& path)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget().toStdString() == path)
            return true;
    }
    return false;
}

// Where CuteCom 0.51 draws its controls on a bare X display (no window manager, the
// window at the top left): "Open" and the "Hex output" box.
constexpr int kCuteComOpen[2] = {50, 43};
constexpr int kCuteComHex[2] = {101, 640};

struct PeerFigures {
    double cpu = 0;
    double intake = 0;
};

// CuteCom on a pseudo-terminal, fed `bytesPerSecond` in 4096-byte writes for `seconds`,
// showing the bytes as text or in hex; false with a reason on stdout when it cannot be run.
bool runCuteCom(const QString& program, const QString& shim, const QString& display, bool hex, double bytesPerSecond,
                double seconds, PeerFigures& out)
{
    QTemporaryDir home;
    qldixw::testing::PtyPair pty;
    QDir(home.path()).mkpath(QStringLiteral(".config/CuteCom"));
    QFile config(home.filePath(QStringLiteral(".config/CuteCom/CuteCom5.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(QStringLiteral("[sessions]\n1\\BaudRate=115200\n1\\DataBits=8\n1\\Device=%1\n1\\FlowControl=0\n"
                                "1\\OpenMode=3\n1\\Parity=0\n1\\StopBits=1\n1\\autoReconnect=false\n1\\name=Default\n"
                                "1\\showCtrlCharacters=false\n1\\showTimestamp=false\nsize=1\n")
                     .arg(QString::fromStdString(pty.portPath()))
                     .toUtf8());
    config.close();

    QProcess cutecom;
    QStringList env = QProcess::systemEnvironment();
    env.removeIf([](const QString& v) { return v.startsWith(QStringLiteral("QT_QPA_PLATFORM=")); });
    env << QStringLiteral("HOME=") + home.path() << QStringLiteral("XDG_CONFIG_HOME=") + home.filePath(".config")
        << QStringLiteral("DISPLAY=") + display << QStringLiteral("LD_PRELOAD=") + shim;
    cutecom.setEnvironment(env);
    cutecom.setStandardOutputFile(QProcess::nullDevice());
    cutecom.setStandardErrorFile(QProcess::nullDevice());
    cutecom.start(program, {});
    if (!cutecom.waitForStarted(10000)) {
        std::printf("skipped: CuteCom did not start\n");
        return false;
    }
    Clicker clicker(display);
    if (!clicker.ok()) {
        std::printf("skipped: CuteCom, no X test extension to click its Open button (libXtst6)\n");
        return false;
    }
    // Its window maps after a moment: click Open until it holds the port.
    QElapsedTimer waited;
    waited.start();
    while (!holdsPort(cutecom.processId(), pty.portPath()) && waited.elapsed() < 20000) {
        clicker.click(kCuteComOpen[0], kCuteComOpen[1]);
        QTest::qWait(1500);
    }
    if (!holdsPort(cutecom.processId(), pty.portPath())) {
        std::printf("skipped: CuteCom did not open the port\n");
        cutecom.kill();
        cutecom.waitForFinished();
        return false;
    }
    if (hex)
        clicker.click(kCuteComHex[0], kCuteComHex[1]);
    QTest::qWait(1000);

    const std::string chunk = [] {
        std::string bytes(kFloodReply, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 37 + 11) & 0xFF);
        return bytes;
    }();
    const double every = double(kFloodReply) / bytesPerSecond;
    const double cpuBefore = processCpuOf(cutecom.processId());
    QElapsedTimer clock;
    clock.start();
    double sent = 0;
    bool fed = true;
    for (int i = 0; double(i) * every < seconds && fed; ++i) {
        while (double(clock.nsecsElapsed()) / 1e9 < double(i) * every)
            QTest::qWait(int(std::max(1.0, (double(i) * every - double(clock.nsecsElapsed()) / 1e9) * 1000)));
        fed = pty.send(chunk.data(), chunk.size());
        sent += fed ? double(chunk.size()) : 0;
    }
    // What it still has to draw of the last bytes counts too.
    QTest::qWait(int(every * 1000));
    out = {processCpuOf(cutecom.processId()) - cpuBefore, sent};
    cutecom.terminate();
    if (!cutecom.waitForFinished(5000)) {
        cutecom.kill();
        cutecom.waitForFinished();
    }
    if (!fed) {
        std::printf("skipped: CuteCom stopped taking the bytes in\n");
        return false;
    }
    return true;
}

struct Spread {
    double min, median, max;
};

Spread spreadOf(const std::vector<double>& values)
{
    return {*std::min_element(values.begin(), values.end()), percentile(values, 0.5),
            *std::max_element(values.begin(), values.end())};
}

void print(const char* what, const std::vector<double>& values, const char* unit)
{
    const Spread s = spreadOf(values);
    std::printf("  %-58s %8.3f %8.3f %8.3f %s\n", what, s.min, s.median, s.max, unit);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && std::string(argv[1]) == "console") {
        const bool flood = std::string(argv[2]) == "long";
        return consoleRun(argc, argv, flood ? kFloodReply : kShortReply, std::atof(argv[3]));
    }

    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(3.0, std::atof(argv[1])) : 30;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    PrivateDisplay display;
    QStringList env = QProcess::systemEnvironment();
    env.removeIf([](const QString& v) { return v.startsWith(QStringLiteral("QT_QPA_PLATFORM=")) || v.startsWith("DISPLAY="); });
    if (display.ok())
        env << QStringLiteral("QT_QPA_PLATFORM=xcb") << QStringLiteral("DISPLAY=") + display.name();
    else
        env << QStringLiteral("QT_QPA_PLATFORM=offscreen");
    std::printf("flood as an operator drives it: Enter every %d ms, replies of %d bytes against %d, %.0f s per run, "
                "%d runs, on %s\n",
                kEnterEveryMs, kFloodReply, kShortReply, seconds, runs,
                display.ok() ? qPrintable(QStringLiteral("Xvfb ") + display.name()) : "the offscreen platform (no Xvfb)");
    std::printf("load average before: %s\n", loadAverage().c_str());

    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> added, whole, shortCpu, longCpu, longRate, lost;
    for (int r = 0; r < runs; ++r) {
        ConsoleFigures quiet, flood;
        if (!runConsole(self, env, "short", seconds, quiet) || !runConsole(self, env, "long", seconds, flood))
            return 1;
        const double mib = flood.intake / (1024.0 * 1024.0);
        added.push_back((flood.cpu - quiet.cpu) / mib);
        whole.push_back(flood.cpu / mib);
        shortCpu.push_back(quiet.cpu / quiet.seconds);
        longCpu.push_back(flood.cpu / flood.seconds);
        longRate.push_back(flood.intake / flood.seconds);
        lost.push_back(flood.intake - flood.logged);
    }
    std::printf("console, min / median / max over %d runs:\n", runs);
    print("CPU with 8-byte replies", shortCpu, "s per s");
    print("CPU with 4096-byte replies", longCpu, "s per s");
    print("intake with 4096-byte replies", longRate, "bytes per s");
    print("bytes taken in but not in the log", lost, "bytes");
    print("whole CPU per MiB taken in, 4096-byte replies", whole, "s per MiB");
    print("CPU the flood adds per MiB taken in", added, "s per MiB");
    const double consoleAdded = percentile(added, 0.5);

    const QString cutecom = QStandardPaths::findExecutable(QStringLiteral("cutecom"));
    const QString shim = QStringLiteral(MODEM_LINES_SHIM);
    bool peerRuns = true;
    if (cutecom.isEmpty()) {
        std::printf("skipped: CuteCom is not installed\n");
        peerRuns = false;
    } else if (!display.ok()) {
        std::printf("skipped: CuteCom needs Xvfb to be clicked, and Xvfb is not installed\n");
        peerRuns = false;
    }
    for (const bool hex : {false, true}) {
        std::vector<double> peer;
        for (int r = 0; r < runs && peerRuns; ++r) {
            PeerFigures figures;
            if (!runCuteCom(cutecom, shim, display.name(), hex, percentile(longRate, 0.5), seconds, figures)) {
                peerRuns = false;
                break;
            }
            peer.push_back(figures.cpu / (figures.intake / (1024.0 * 1024.0)));
        }
        if (peer.empty())
            continue;
        std::printf("CuteCom, %s output, fed the console's median intake rate, min / median / max over %zu runs:\n",
                    hex ? "hex" : "plain", peer.size());
        print("whole CPU per MiB taken in", peer, "s per MiB");
        std::printf("  ratio of the console's added CPU per MiB to this: %.2f (goal <= 1)\n",
                    consoleAdded / percentile(peer, 0.5));
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    return 0;
}
