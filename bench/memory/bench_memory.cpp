// The memory mode on the whole program (offscreen) against the simulated controller
// on a pseudo-terminal: what an exchange (preamble, then area request) costs beyond
// its two reply windows, and what the twelve-exchange emulation switch costs beyond
// its twelve.
//
//   bench_memory [exchanges] [emulation-switches]   (defaults 40 4)

#include "consoletestbench.h"
#include "replywindowtimer.h"
#include "simulatorprocess.h"
#include "virtualports.h"
#include "benchfigures.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace qldixw::testing;
using Clock = std::chrono::steady_clock;

using bench::percentile;

namespace {

struct Run {
    double ms = 0;
    int windows = 0;
};

// Starts a request and runs the event loop, as the program does, until a reply
// window ends with the line idle: the request and every follow-up are done.
Run untilChainEnds(ConsoleTestBench& bench, const std::function<void()>& start)
{
    auto& line = bench.line();
    auto* timer = line.findChild<transport::ReplyWindowTimer*>(QStringLiteral("Timer1"));
    if (!timer) {
        std::fprintf(stderr, "bench_memory: the line has no reply window timer \"Timer1\"\n");
        std::exit(1);
    }
    Run run;
    QEventLoop loop;
    Clock::time_point ended;
    // Connected after the reply handler, so it runs once the handler is done.
    const auto connection = QObject::connect(timer, &transport::ReplyWindowTimer::timeout, &loop, [&] {
        ++run.windows;
        if (!line.busy()) {
            ended = Clock::now();
            loop.quit();
        }
    });
    const auto started = Clock::now();
    start();
    if (line.busy())
        loop.exec();
    QObject::disconnect(connection);
    run.ms = std::chrono::duration<double, std::milli>(ended - started).count();
    return run;
}

void exchanges(ConsoleTestBench& bench, int count)
{
    auto* field = bench.control<QLineEdit>(QStringLiteral("adressIR"));
    const auto press = [&] { QTest::keyClick(field, Qt::Key_Return); };
    untilChainEnds(bench, press); // the first window after start is longer
    std::vector<double> overhead;
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const int nominal = bench.line().replyWindow();
        const Run run = untilChainEnds(bench, press);
        if (run.windows != 2)
            ++failed;
        overhead.push_back(run.ms - 2 * nominal);
    }
    std::printf("memory exchange (preamble + area request), time beyond 2 nominal windows of %d ms, %d exchanges: "
                "p50 %.2f ms, p99 %.2f ms, max %.2f ms%s\n",
                bench.line().replyWindow(), count, percentile(overhead, 0.5), percentile(overhead, 0.99),
                *std::max_element(overhead.begin(), overhead.end()),
                failed ? qPrintable(QStringLiteral(" (%1 not in two windows)").arg(failed)) : "");
}

void emulation(ConsoleTestBench& bench, int switches)
{
    std::vector<double> wall;
    std::vector<double> overhead;
    int failed = 0;
    for (int i = 0; i < switches; ++i) {
        auto* button = bench.control<QPushButton>(i % 2 ? QStringLiteral("viklEmul") : QStringLiteral("VklEmul"));
        const int nominal = bench.line().replyWindow();
        const Run run = untilChainEnds(bench, [&] { QTest::mouseClick(button, Qt::LeftButton); });
        if (run.windows != 24)
            ++failed;
        wall.push_back(run.ms);
        overhead.push_back(run.ms - 24 * nominal);
    }
    std::printf("emulation switch (12 exchanges, 24 windows), %d switches on and off: wall p50 %.0f ms, max %.0f ms; "
                "beyond the nominal %d ms: p50 %.1f ms, max %.1f ms%s\n",
                switches, percentile(wall, 0.5), *std::max_element(wall.begin(), wall.end()),
                24 * bench.line().replyWindow(), percentile(overhead, 0.5),
                *std::max_element(overhead.begin(), overhead.end()),
                failed ? qPrintable(QStringLiteral(" (%1 not in 24 windows)").arg(failed)) : "");
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 40;
    const int switches = argc > 2 ? std::atoi(argv[2]) : 4;

    ConsoleTestBench bench;
    SimulatorProcess sim(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                         {QStringLiteral("--family"), QStringLiteral("ql"), QStringLiteral("--er-guard")});
    if (!sim.started() || !bench.openPort()) {
        std::fprintf(stderr, "could not start the simulator or open the port\n");
        return 1;
    }
    bench.selectMode(ModeQL);
    if (count > 0)
        exchanges(bench, count);
    if (switches > 0)
        emulation(bench, switches);
    return 0;
}
