// Test scripts run against the device simulator as the run from the command line does
// it (a core application, no window).
//
//   bench_scriptrun [exchanges] [window-ms]   (defaults 500 20: 1001 steps)
//     a script of that many exchanges with short windows: how much time the run takes
//     beyond the sum of its windows, and the CPU each step costs. The implicit first
//     case holds the window step only.
//   bench_scriptrun example [runs]            (default 3)
//     examples/dispenser.qlt as written and with every window early (--early): the
//     wall time and the CPU per step of each, over several runs.

#include "benchfigures.h"
#include "portsession.h"
#include "scriptdriver.h"
#include "scriptparser.h"
#include "simulatorprocess.h"
#include "transport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

struct RunFigures {
    double wallMs = 0;
    double cpuSeconds = 0;       // the whole process
    double threadCpuSeconds = 0; // the GUI thread
    std::int64_t steps = 0;
    int failed = 0;
    QString firstFailure;
    // From one window's end to the next window's start: the run's own time.
    std::vector<double> gapsUs;
};

std::optional<RunFigures> runScript(transport::Transport& line, const QString& text, testscript::RunOptions options)
{
    testscript::ScriptParse parse = testscript::parseScript(text, QStringLiteral("bench"));
    if (!parse.script) {
        std::fprintf(stderr, "the script was refused: %s\n", qPrintable(parse.error));
        return std::nullopt;
    }
    RunFigures figures;
    figures.steps = parse.script->stepCount;
    testscript::ScriptDriver driver(line);

    Clock::time_point windowEnd;
    bool ended = false;
    const QMetaObject::Connection read = QObject::connect(&line, &transport::Transport::replyRead, [&] {
        windowEnd = Clock::now();
        ended = true;
    });
    const QMetaObject::Connection opened = QObject::connect(&line, &transport::Transport::windowOpened, [&] {
        if (ended)
            figures.gapsUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - windowEnd).count());
        ended = false;
    });
    QEventLoop loop;
    QObject::connect(&driver, &testscript::ScriptDriver::finished, &loop, &QEventLoop::quit);

    const double cpuBefore = bench::processCpuSeconds();
    const double threadBefore = bench::threadCpuSeconds(pthread_self());
    QElapsedTimer clock;
    clock.start();
    QString why;
    if (!driver.start(std::move(*parse.script), QStringLiteral("01"), options, &why)) {
        std::fprintf(stderr, "the run did not start: %s\n", qPrintable(why));
        return std::nullopt;
    }
    loop.exec();
    figures.wallMs = double(clock.nsecsElapsed()) / 1e6;
    figures.cpuSeconds = bench::processCpuSeconds() - cpuBefore;
    figures.threadCpuSeconds = bench::threadCpuSeconds(pthread_self()) - threadBefore;
    QObject::disconnect(read);
    QObject::disconnect(opened);

    for (const testscript::CaseResult& result : driver.results()) {
        if (result.outcome == testscript::CaseOutcome::Passed)
            continue;
        if (figures.failed++ == 0)
            figures.firstFailure = result.name + QStringLiteral(": ") + result.failure;
    }
    return figures;
}

int shortWindows(transport::Transport& line, int exchanges, int windowMs)
{
    // Every exchange checks its reply, wildcards and checksum included, in a case of its
    // own: a reply the simulator gives too late for so short a window fails that case
    // only, and the run goes on.
    QString text = QStringLiteral("window %1\n").arg(windowMs);
    for (int i = 0; i < exchanges; ++i)
        text += QStringLiteral("case %1\nsend 60 01 81 *\nexpect 01 81 00 ?? ?? ?? ?? *\n").arg(i + 1);
    const std::optional<RunFigures> run = runScript(line, text, {});
    if (!run)
        return 1;
    const double windowsMs = double(exchanges) * windowMs;
    std::printf("script of %lld steps (%d exchanges, %d ms windows) against the simulator: %d of %d cases failed\n",
                static_cast<long long>(run->steps), exchanges, windowMs, run->failed, exchanges);
    if (run->failed > 0)
        std::printf("  (a reply later than its window; the first: %s)\n", qPrintable(run->firstFailure));
    std::printf("  wall %.1f ms, sum of the windows %.1f ms, beyond them %.1f ms (%.3f ms per exchange)\n", run->wallMs,
                windowsMs, run->wallMs - windowsMs, (run->wallMs - windowsMs) / exchanges);
    std::printf("  from a window's end to the next frame: p50 %.1f us, p99 %.1f us, max %.1f us\n",
                bench::percentile(run->gapsUs, 0.5), bench::percentile(run->gapsUs, 0.99),
                bench::percentile(run->gapsUs, 1.0));
    const double steps = double(run->steps);
    std::printf("  CPU: process %.1f ms (%.1f us per step), GUI thread %.1f ms (%.1f us per step)\n",
                run->cpuSeconds * 1e3, run->cpuSeconds * 1e6 / steps, run->threadCpuSeconds * 1e3,
                run->threadCpuSeconds * 1e6 / steps);
    return 0;
}

int example(transport::Transport& line, int runs)
{
    QFile file(QStringLiteral(QLDIXW_EXAMPLES_DIR "/dispenser.qlt"));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "examples/dispenser.qlt not found\n");
        return 1;
    }
    const QString text = QString::fromUtf8(file.readAll());
    std::printf("examples/dispenser.qlt against the simulator, %d runs each (median; windows as the script "
                "gives them, the line's own 500 ms)\n", runs);
    for (const bool early : {false, true}) {
        std::vector<double> wall, stepMs, cpuUs, threadUs;
        std::int64_t steps = 0;
        int failed = 0;
        for (int i = 0; i < runs; ++i) {
            const std::optional<RunFigures> run = runScript(line, text, {.windowMs = std::nullopt, .earlyWindows = early});
            if (!run)
                return 1;
            steps = run->steps;
            failed += run->failed;
            wall.push_back(run->wallMs);
            stepMs.push_back(run->wallMs / double(run->steps));
            cpuUs.push_back(run->cpuSeconds * 1e6 / double(run->steps));
            threadUs.push_back(run->threadCpuSeconds * 1e6 / double(run->steps));
        }
        std::printf("  %-10s %lld steps: wall %.0f ms (%.1f ms per step), CPU %.0f us per step (GUI thread %.0f us)%s\n",
                    early ? "early:" : "as written:", static_cast<long long>(steps), bench::percentile(wall, 0.5),
                    bench::percentile(stepMs, 0.5), bench::percentile(cpuUs, 0.5), bench::percentile(threadUs, 0.5),
                    failed > 0 ? ", SOME CASES FAILED" : "");
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool exampleAsked = argc > 1 && std::strcmp(argv[1], "example") == 0;

    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("port"));
    qldixw::testing::SimulatorProcess sim(port, {QStringLiteral("--family"), QStringLiteral("dix")});
    if (!sim.started()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    portsession::PortSession session;
    transport::Transport line(session);
    if (session.openAndWait(port).outcome != portsession::OpenResult::Outcome::Opened) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }
    const int code = exampleAsked ? example(line, argc > 2 ? std::max(1, std::atoi(argv[2])) : 3)
                                  : shortWindows(line, argc > 1 ? std::atoi(argv[1]) : 500,
                                                 argc > 2 ? std::atoi(argv[2]) : 20);
    session.close();
    return code;
}
