// "Открыть запись ..." of the line monitor in the whole console on the offscreen screen:
// a dispenser controller polled every 100 ms, captured to files of growing size, each
// opened as the button does it. Figures: the time until its lines are shown, the longest
// the window went without serving its events meanwhile, the lines the pane holds, and
// the process's resident memory at its peak and once the capture is shown, beyond what
// it held before.
//
//   bench_captureopen [MiB...]   (default 4 16 63)

#include "benchfigures.h"
#include "capturetext.h"
#include "consoletestbench.h"
#include "logpane.h"
#include "monitorfamily.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<long long> sizes;
    for (int i = 1; i < argc; ++i) {
        const long long mib = std::atoll(argv[i]);
        if (mib <= 0) {
            std::fprintf(stderr, "usage: bench_captureopen [MiB > 0 ...]\n");
            return 2;
        }
        sizes.push_back(mib);
    }
    if (sizes.empty())
        sizes = {4, 16, 63};

    qldixw::testing::ConsoleTestBench console;
    QTest::mouseClick(console.control<QRadioButton>(QStringLiteral("prog_Monitor")), Qt::LeftButton);
    auto* family = console.window().findChild<monitor::MonitorFamily*>(QStringLiteral("MonitorFamily"));
    auto* openButton = console.control<QPushButton>(QStringLiteral("MonitorOpenCapture"));
    if (!family || !openButton) {
        std::fprintf(stderr, "no line monitor in the window\n");
        return 1;
    }
    const ui::LogPane& pane = *family->panel().MonitorLog;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("poll.qlcap"));
    family->setFileChooser([&path](QWidget*, bool, const QString&, const QString&) { return path; });

    for (const long long mib : sizes) {
        std::int64_t exchanges = 0;
        {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(bench::pollingCaptureText(mib << 20, &exchanges)) < 0) {
                std::fprintf(stderr, "the capture could not be written\n");
                return 1;
            }
        }
        // Whatever the last capture left is given back before this one is measured.
        family->clearClick();
        app.processEvents();
        const long before = bench::residentKiB();
        bench::resetPeakResident();

        // The window's own clock: how late each tick comes is how long it was kept busy.
        QElapsedTimer sinceTick;
        qint64 longestStallMs = 0;
        QTimer ticker;
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestStallMs = std::max(longestStallMs, sinceTick.restart());
        });
        const double cpuBefore = bench::processCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        sinceTick.start();
        ticker.start();
        family->openCaptureClick();
        longestStallMs = std::max(longestStallMs, sinceTick.restart());
        // Woken by the ticker at the latest: waiting here costs the reading nothing.
        while (!(openButton->isEnabled() && pane.store().lineCount() > 0) && clock.elapsed() < 600'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        const double cpu = bench::processCpuSeconds() - cpuBefore;
        ticker.stop();
        std::printf("%3lld MiB, %8lld exchanges: shown in %7.3f s (%.3f s CPU), window stalled %6lld ms at most, %8lld "
                    "lines in the pane, peak +%7ld KiB, held +%7ld KiB\n",
                    mib, static_cast<long long>(exchanges), seconds, cpu, longestStallMs,
                    static_cast<long long>(pane.store().lineCount()), bench::peakResidentKiB() - before,
                    bench::residentKiB() - before);
        std::fflush(stdout);
    }
    return 0;
}
