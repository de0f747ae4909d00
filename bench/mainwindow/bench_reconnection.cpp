// Devices that come and go, on the whole program (offscreen) with pseudo-terminals as
// cables: what waiting for a pulled device costs, also while another terminal on the
// machine is busy, and how long a device that is back takes to be open again.
//
//   bench_reconnection [wait-seconds] [reconnections]   (defaults 30 50)

#include "consoletestbench.h"
#include "portwatcher.h"
#include "virtualports.h"
#include "benchfigures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QLabel>
#include <QEventLoop>
#include <QProcess>
#include <QWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

using namespace qldixw::testing;
using Clock = std::chrono::steady_clock;

using bench::percentile;
using bench::processCpuSeconds;

namespace {

bool waitingShown(ConsoleTestBench& bench)
{
    return bench.control<QLabel>(QStringLiteral("PortWaitLabel"))->isVisible() && !bench.line().portOpen();
}

// The device goes as a stopped simulator goes: its terminal closed, its link removed.
// (A link left behind into /dev/pts lets every terminal another session opens on that
// number wake the console for a look.)
void pull(PtyPair& device)
{
    device.unplug();
    QFile::remove(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")));
}

// The program's own event loop for `ms`: it sleeps until something happens (QTest::qWait
// would wake it every 10 ms).
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU of the whole program over `seconds`, in its event loop, as a share of one core.
double cpuShare(int seconds)
{
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runEventLoop(seconds * 1000);
    return 100.0 * (processCpuSeconds() - cpuBefore) / (double(clock.elapsed()) / 1000.0);
}

// CPU of the whole program over `seconds` while it waits for a device, in the event
// loop as the program runs. `busyTerminal`: another program writes to a terminal of its
// own a hundred times a second meanwhile.
void waitingCost(ConsoleTestBench& bench, int seconds, bool busyTerminal)
{
    std::unique_ptr<PtyPair> other;
    QProcess writer;
    if (busyTerminal) {
        other = std::make_unique<PtyPair>();
        writer.setStandardOutputFile(QString::fromStdString(other->portPath()));
        writer.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do echo tick; sleep 0.01; done")});
        writer.waitForStarted();
    }
    // Notices of other programs' devices (another session's terminals, hot-plugged
    // disks) wake the console too; how many came says what the figure contains.
    int notices = 0;
    QObject counting;
    QObject::connect(bench.window().session().findChild<ports::PortWatcher*>(), &ports::PortWatcher::portsChanged, &counting,
                     [&notices] { ++notices; });
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runEventLoop(seconds * 1000);
    const double cpu = processCpuSeconds() - cpuBefore;
    const double wall = double(clock.elapsed()) / 1000.0;
    if (busyTerminal) {
        writer.kill();
        writer.waitForFinished();
    }
    std::printf("waiting for a device, %.0f s%s: CPU %.1f ms, %.4f %% of a core, %d device notices (still waiting: %s)\n",
                wall, busyTerminal ? ", another terminal written 100 times/s" : "", cpu * 1000.0, 100.0 * cpu / wall,
                notices, waitingShown(bench) ? "yes" : "no");
}

// From the device's link published again to the port open, in the event loop. The
// port is waiting on entry.
void reconnectionLatency(ConsoleTestBench& bench, int count)
{
    std::vector<double> latencies;
    std::unique_ptr<PtyPair> device;
    for (int i = 0; i < count; ++i) {
        // The device side of a pseudo-terminal pair is the device being plugged in.
        device = std::make_unique<PtyPair>();
        const Clock::time_point plugged = Clock::now();
        ConsoleTestBench::publish(QStringLiteral("COM9"), device->portPath());
        QElapsedTimer limit;
        limit.start();
        while (!bench.line().portOpen() && limit.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!bench.line().portOpen()) {
            std::fprintf(stderr, "not reopened after plug %d\n", i);
            return;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - plugged).count());
        pull(*device);
        if (!QTest::qWaitFor([&] { return waitingShown(bench); }, 5000)) {
            std::fprintf(stderr, "not waiting after unplug %d\n", i);
            return;
        }
    }
    std::printf("reconnection, device published again to port open, %d samples: p50 %.1f ms, p95 %.1f ms, max %.1f ms\n",
                count, percentile(latencies, 0.5), percentile(latencies, 0.95), percentile(latencies, 1.0));
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int reconnections = argc > 2 ? std::atoi(argv[2]) : 50;

    ConsoleTestBench bench;
    if (!bench.openPort()) {
        std::fprintf(stderr, "could not open the port\n");
        return 1;
    }
    // A focused text field blinks its caret twice a second whatever the port does: that
    // is not what is measured here.
    const auto unfocus = [] {
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
    };
    if (seconds > 0) {
        unfocus();
        runEventLoop(1000);
        std::printf("for comparison, the port open and idle, %d s: %.4f %% of a core\n", seconds, cpuShare(seconds));
    }
    pull(bench.device());
    if (!QTest::qWaitFor([&] { return waitingShown(bench); }, 5000)) {
        std::fprintf(stderr, "the unplug was not noticed\n");
        return 1;
    }
    if (seconds > 0) {
        unfocus();
        // Settle first: the unplug's own work is no part of waiting.
        runEventLoop(1000);
        waitingCost(bench, seconds, false);
        waitingCost(bench, seconds, true);
    }
    if (reconnections > 0)
        reconnectionLatency(bench, reconnections);
    return 0;
}
