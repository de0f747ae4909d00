// The meter poll on the whole program (offscreen) against the simulated meter as its
// own process: how long a full cycle of the nine readings takes against nine nominal
// reply windows, and what a cycle costs the console in CPU time.
//
//   bench_meter [cycles]   (default 5)

#include "consoletestbench.h"
#include "meterfamily.h"
#include "simulatorprocess.h"
#include "virtualports.h"
#include "benchfigures.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <vector>

using namespace qldixw::testing;
using Clock = std::chrono::steady_clock;

using bench::processCpuSeconds;

namespace {

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int cycles = std::max(1, argc > 1 ? std::atoi(argv[1]) : 5);

    ConsoleTestBench bench;
    SimulatorProcess sim(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                         {QStringLiteral("--family"), QStringLiteral("erk")});
    if (!sim.started() || !bench.openPort()) {
        std::fprintf(stderr, "could not start the simulated meter on COM9\n");
        return 1;
    }
    bench.selectMode(ModeERK2);
    auto* family = bench.window().findChild<meter::MeterFamily*>();

    // A cycle runs from one W3 reading shown to the next; CPU time is sampled at the
    // same moments. The first W3 only starts the clock.
    std::vector<double> wallMs;
    std::vector<double> cycleCpuMs;
    std::vector<double> readingGapsMs;
    Clock::time_point lastW3;
    Clock::time_point lastReading;
    double lastCpu = 0;
    int readings = 0;
    QEventLoop loop;
    QObject::connect(family, &meter::MeterFamily::readingShown, &loop, [&](meter::Quantity quantity) {
        const auto now = Clock::now();
        if (readings++ > 0)
            readingGapsMs.push_back(std::chrono::duration<double, std::milli>(now - lastReading).count());
        lastReading = now;
        if (quantity != meter::Quantity::W3)
            return;
        const double cpu = 1e3 * processCpuSeconds();
        if (lastW3 != Clock::time_point()) {
            wallMs.push_back(std::chrono::duration<double, std::milli>(now - lastW3).count());
            cycleCpuMs.push_back(cpu - lastCpu);
        }
        lastW3 = now;
        lastCpu = cpu;
        if (int(wallMs.size()) == cycles)
            loop.quit();
    });
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("read_all")), Qt::LeftButton);
    loop.exec();
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("read_all")), Qt::LeftButton);

    const auto mean = [](const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size()); };
    const double nominal = 9.0 * bench.line().replyWindow();
    std::printf("poll cycle of nine readings, %d cycles: mean %.0f ms, min %.0f ms, max %.0f ms\n", cycles, mean(wallMs),
                *std::min_element(wallMs.begin(), wallMs.end()), *std::max_element(wallMs.begin(), wallMs.end()));
    std::printf("nine nominal reply windows: %.0f ms; cycle / nominal: %.2f\n", nominal, mean(wallMs) / nominal);
    std::printf("one reading to the next: mean %.0f ms (poll tick 300 ms, reply window %d ms)\n", mean(readingGapsMs),
                bench.line().replyWindow());
    std::printf("console CPU per cycle (user + system, all threads): mean %.1f ms, max %.1f ms\n", mean(cycleCpuMs),
                *std::max_element(cycleCpuMs.begin(), cycleCpuMs.end()));
    return 0;
}
