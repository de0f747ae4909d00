// A test script run against the device simulator with 20 ms reply windows, as the run
// from the command line does it (a core application, no window): how much time the run
// takes beyond the sum of its windows, and the CPU each step costs.
//
//   bench_scriptrun [exchanges] [window-ms]   (defaults 500 20: 1001 steps)
//
// The implicit first case holds the window step only.

#include "benchfigures.h"
#include "portsession.h"
#include "scriptdriver.h"
#include "scriptparser.h"
#include "simulatorprocess.h"
#include "transport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <vector>

using Clock = std::chrono::steady_clock;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 500;
    const int windowMs = argc > 2 ? std::atoi(argv[2]) : 20;

    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("port"));
    qldixw::testing::SimulatorProcess sim(port, {QStringLiteral("--family"), QStringLiteral("dix")});
    if (!sim.started()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }

    // Every exchange checks its reply, wildcards and checksum included, in a case of its
    // own: a reply the simulator gives too late for so short a window fails that case
    // only, and the run goes on.
    QString text = QStringLiteral("window %1\n").arg(windowMs);
    for (int i = 0; i < exchanges; ++i)
        text += QStringLiteral("case %1\nsend 60 01 81 *\nexpect 01 81 00 ?? ?? ?? ?? *\n").arg(i + 1);
    testscript::ScriptParse parse = testscript::parseScript(text, QStringLiteral("bench"));
    const std::int64_t steps = parse.script->stepCount;

    portsession::PortSession session;
    transport::Transport line(session);
    if (session.openAndWait(port).outcome != portsession::OpenResult::Outcome::Opened) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }
    testscript::ScriptDriver driver(line);

    // The gap between one window's end and the next window's start: the run's own time.
    std::vector<double> gaps;
    Clock::time_point windowEnd;
    bool ended = false;
    QObject::connect(&line, &transport::Transport::replyRead, [&] {
        windowEnd = Clock::now();
        ended = true;
    });
    QObject::connect(&line, &transport::Transport::windowOpened, [&] {
        if (ended)
            gaps.push_back(std::chrono::duration<double, std::micro>(Clock::now() - windowEnd).count());
        ended = false;
    });
    QEventLoop loop;
    QObject::connect(&driver, &testscript::ScriptDriver::finished, &loop, &QEventLoop::quit);

    const double cpuBefore = bench::processCpuSeconds();
    const double threadBefore = bench::threadCpuSeconds(pthread_self());
    QElapsedTimer clock;
    clock.start();
    QString why;
    driver.start(std::move(*parse.script), QStringLiteral("01"), &why);
    loop.exec();
    const double wallMs = double(clock.nsecsElapsed()) / 1e6;
    const double cpu = bench::processCpuSeconds() - cpuBefore;
    const double threadCpu = bench::threadCpuSeconds(pthread_self()) - threadBefore;
    session.close();

    int failed = 0;
    QString firstFailure;
    for (const testscript::CaseResult& result : driver.results()) {
        if (result.outcome == testscript::CaseOutcome::Passed)
            continue;
        if (failed++ == 0)
            firstFailure = result.name + QStringLiteral(": ") + result.failure;
    }
    const double windowsMs = double(exchanges) * windowMs;
    std::printf("script of %lld steps (%d exchanges, %d ms windows) against the simulator: %d of %d cases failed\n",
                static_cast<long long>(steps), exchanges, windowMs, failed, exchanges);
    if (failed > 0)
        std::printf("  (a reply later than its window; the first: %s)\n", qPrintable(firstFailure));
    std::printf("  wall %.1f ms, sum of the windows %.1f ms, beyond them %.1f ms (%.3f ms per exchange)\n", wallMs,
                windowsMs, wallMs - windowsMs, (wallMs - windowsMs) / exchanges);
    std::printf("  from a window's end to the next frame: p50 %.1f us, p99 %.1f us, max %.1f us\n",
                bench::percentile(gaps, 0.5), bench::percentile(gaps, 0.99), bench::percentile(gaps, 1.0));
    std::printf("  CPU: process %.1f ms (%.1f us per step), GUI thread %.1f ms (%.1f us per step)\n", cpu * 1e3,
                cpu * 1e6 / double(steps), threadCpu * 1e3, threadCpu * 1e6 / double(steps));
    return 0;
}
