// Saving and loading the console log through the "Файл" menu of the whole program
// (offscreen): time, peak memory and the longest pause of the event loop for logs of
// growing length, and what the pane costs to fill and to scroll at each length. Each
// length runs in a process of its own, so that one length's memory does not hide in
// the next one's figures.
//
// What a loaded log costs is measured as the system sees it: the resident set of a
// fresh process that has loaded nothing but the file, before and after "Открыть" and
// after a "Сохранить как ..." of the same log, against what the pane's store holds.
//
//   bench_logfile [lines ...]   (default 10000 100000 1000000)

#include "consoletestbench.h"
#include "logfile.h"
#include "logfileio.h"
#include "benchfigures.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <fstream>
#include <limits>
#include <string>

using namespace qldixw::testing;

using bench::statusKiB;

namespace {

// Starts a new peak: the kernel's high-water mark drops to what is resident now.
long resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKiB("VmRSS:");
}

// Wall time and the process's CPU time: on a shared machine the first includes other
// programs' turns, the second is what the work itself costs.
class Stopwatch {
public:
    void start()
    {
        wall_.start();
        cpu_ = cpuNs();
    }
    QString text() const
    {
        return QStringLiteral("%1 ms (cpu %2 ms)")
            .arg(double(wall_.nsecsElapsed()) / 1e6, 8, 'f', 1)
            .arg(double(cpuNs() - cpu_) / 1e6, 7, 'f', 1);
    }

private:
    static qint64 cpuNs()
    {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    QElapsedTimer wall_;
    qint64 cpu_ = 0;
};

// The peak since the last reset above `base`. Memory an earlier step freed is used again
// first, so a step's peak here can be below what it needs on its own: runLoadMemory()
// measures a load in a process that did nothing else.
long peakAbove(long base)
{
    return std::max(0L, statusKiB("VmHWM:") - base);
}

double mib(long kib)
{
    return double(kib) / 1024.0;
}

// A console log as the program writes it: sent and received frames with time stamps,
// now and then a decoded version text in Russian.
QStringList consoleLog(int count)
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString stamp = QStringLiteral("07.12.2024 10:%1:%2").arg(i / 60 % 60, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'));
        switch (i % 5) {
        case 0:
            lines << QStringLiteral("PC-> (%1)  60 01 81 FB").arg(stamp);
            break;
        case 1:
            lines << QStringLiteral("PC<- (%1)  E0 01 80 00 22 00 00 5E").arg(stamp);
            break;
        case 2:
            lines << QStringLiteral("PC-> (%1)  60 01 B1 00 05 00 00 *").arg(stamp);
            break;
        case 3:
            lines << QStringLiteral("Версия контроллера: ZENT-11 сборка %1").arg(i);
            break;
        default:
            lines << QString();
        }
    }
    return lines;
}

// The longest time the event loop went without serving a timer while `job` ran.
class PauseMeter {
public:
    PauseMeter()
    {
        QObject::connect(&tick_, &QTimer::timeout, [this] { mark(); });
        tick_.setTimerType(Qt::PreciseTimer);
    }
    template <class Job>
    double measure(Job job)
    {
        longest_ = 0;
        tick_.start(5);
        last_.start();
        job();
        mark();
        tick_.stop();
        return longest_;
    }

private:
    void mark()
    {
        longest_ = std::max(longest_, double(last_.nsecsElapsed()) / 1e6);
        last_.start();
    }
    QTimer tick_;
    QElapsedTimer last_;
    double longest_ = 0;
};

int runOne(int count)
{
    ConsoleTestBench bench;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.LogDIXW"));
    mainwindow::MenuDialogs dialogs = mainwindow::systemMenuDialogs();
    dialogs.openFileName = [&path](QWidget*, const QString&) { return path; };
    dialogs.saveFileName = [&path](QWidget*, const QString&) { return path; };
    bench.window().setMenuDialogs(dialogs);
    auto* pane = bench.window().findChild<ui::LogPane*>(QStringLiteral("dannieListBox1"));
    auto trigger = [&bench](const char* item) { bench.window().findChild<QAction*>(QString::fromLatin1(item))->trigger(); };

    const QStringList lines = consoleLog(count);
    Stopwatch clock;
    QElapsedTimer repaintClock;

    // The codec alone.
    clock.start();
    const QByteArray file = ui::encodeLog(lines);
    const QString encodeTime = clock.text();
    clock.start();
    const qsizetype decodedCount = ui::decodeLog(file).size();
    const QString decodeTime = clock.text();
    if (decodedCount != count) {
        std::fprintf(stderr, "decoded %lld lines of %d\n", static_cast<long long>(decodedCount), count);
        return 1;
    }
    std::printf("%8d lines %6.1f MB: encode %s\n", count, double(file.size()) / 1e6, qPrintable(encodeTime));
    std::printf("%8d lines %6.1f MB: decode %s\n", count, double(file.size()) / 1e6, qPrintable(decodeTime));

    // The pane: filling it, and scrolling it to places all over the log.
    long base = resetPeak();
    clock.start();
    pane->setLines(lines);
    QApplication::processEvents();
    std::printf("%8d lines: pane fill %s, peak +%.1f MiB\n", count, qPrintable(clock.text()),
                mib(peakAbove(base)));
    if (auto* area = qobject_cast<QAbstractScrollArea*>(pane->view())) {
        pane->view()->resize(800, 600);
        QScrollBar* bar = area->verticalScrollBar();
        double worst = 0;
        double total = 0;
        constexpr int kJumps = 40;
        for (int i = 0; i < kJumps; ++i) {
            bar->setValue(QRandomGenerator::global()->bounded(bar->maximum() + 1));
            repaintClock.start();
            area->viewport()->repaint();
            const double ms = double(repaintClock.nsecsElapsed()) / 1e6;
            worst = std::max(worst, ms);
            total += ms;
        }
        std::printf("%8d lines: pane scroll and repaint %6.2f ms mean, %6.2f ms worst\n", count, total / kJumps, worst);
    }

    PauseMeter pauses;
    base = resetPeak();
    clock.start();
    const double savePause = pauses.measure([&] { trigger("saveas"); });
    const QString saveTime = clock.text();
    if (QFileInfo(path).size() != file.size()) {
        std::fprintf(stderr, "saved %lld bytes of %lld\n", static_cast<long long>(QFileInfo(path).size()),
                     static_cast<long long>(file.size()));
        return 1;
    }
    std::printf("%8d lines: save %s, peak +%.1f MiB, longest pause %6.1f ms\n", count, qPrintable(saveTime),
                mib(peakAbove(base)), savePause);

    // Reading and decoding alone, past the menu's size limit too.
    base = resetPeak();
    clock.start();
    ui::LogStore readBack;
    const ui::LogRead read = ui::readLogFile(path, readBack, {}, std::numeric_limits<qint64>::max());
    std::printf("%8d lines: read and decode %s, peak +%.1f MiB\n", count, qPrintable(clock.text()),
                mib(peakAbove(base)));
    if (read.outcome != ui::FileOutcome::Done || readBack.lines() != lines) {
        std::fprintf(stderr, "read back other lines\n");
        return 1;
    }

    pane->setLines({});
    QApplication::processEvents();
    if (file.size() > ui::kLogFileByteLimit) {
        std::printf("%8d lines: load refused, %.1f MB is over the limit of %.1f MB\n", count,
                    double(file.size()) / 1e6, double(ui::kLogFileByteLimit) / 1e6);
        return 0;
    }
    base = resetPeak();
    clock.start();
    const double loadPause = pauses.measure([&] { trigger("openFiles"); });
    const QString loadTime = clock.text();
    if (pane->lineCount() != count) {
        std::fprintf(stderr, "loaded %lld lines of %d\n", static_cast<long long>(pane->lineCount()), count);
        return 1;
    }
    std::printf("%8d lines: load %s, peak +%.1f MiB, longest pause %6.1f ms\n", count, qPrintable(loadTime),
                mib(peakAbove(base)), loadPause);
    return 0;
}

QString perLine(long kib, int count)
{
    return QStringLiteral("%1 MiB (%2 bytes a line)").arg(mib(kib), 6, 'f', 1).arg(double(kib) * 1024 / count, 5, 'f', 0);
}

// The resident set a loaded log adds to the whole program, and what a save adds on top.
// A small log is loaded and saved first, so the figures hold the lines and what stays of
// the work on them, not the code and tables the first use of the menu brings in.
int runLoadMemory(const QString& path, int count)
{
    ConsoleTestBench bench;
    QTemporaryDir dir;
    const QString warmUp = dir.filePath(QStringLiteral("warm-up.LogDIXW"));
    {
        QFile file(warmUp);
        if (!file.open(QIODevice::WriteOnly) || file.write(ui::encodeLog(consoleLog(1000))) <= 0)
            return 1;
    }
    QString answer = warmUp;
    const QString savedPath = dir.filePath(QStringLiteral("saved.LogDIXW"));
    mainwindow::MenuDialogs dialogs = mainwindow::systemMenuDialogs();
    dialogs.openFileName = [&answer](QWidget*, const QString&) { return answer; };
    dialogs.saveFileName = [&savedPath](QWidget*, const QString&) { return savedPath; };
    bench.window().setMenuDialogs(dialogs);
    auto* pane = bench.window().findChild<ui::LogPane*>(QStringLiteral("dannieListBox1"));
    auto trigger = [&bench](const char* item) { bench.window().findChild<QAction*>(QString::fromLatin1(item))->trigger(); };
    pane->view()->resize(800, 600);
    bench.window().show();

    trigger("openFiles");
    trigger("saveas");
    QApplication::processEvents();
    const long before = resetPeak();

    answer = path;
    trigger("openFiles");
    QApplication::processEvents();
    if (pane->lineCount() != count) {
        std::fprintf(stderr, "loaded %lld lines of %d\n", static_cast<long long>(pane->lineCount()), count);
        return 1;
    }
    const long loaded = bench::residentKiB();
    const long store = long(pane->store().allocatedBytes() / 1024);
    std::printf("%8d lines: whole process after load +%s, the pane's store %s, peak +%s\n", count,
                qPrintable(perLine(loaded - before, count)), qPrintable(perLine(store, count)),
                qPrintable(perLine(bench::peakResidentKiB() - before, count)));

    resetPeak();
    trigger("saveas");
    QApplication::processEvents();
    const long saved = bench::residentKiB();
    std::printf("%8d lines: whole process after load and save +%s, peak of the save +%s\n", count,
                qPrintable(perLine(saved - before, count)), qPrintable(perLine(bench::peakResidentKiB() - loaded, count)));

    // The same file once more, over the log it replaces.
    Stopwatch clock;
    clock.start();
    trigger("openFiles");
    QApplication::processEvents();
    const long again = bench::residentKiB();
    std::printf("%8d lines: whole process after loading it once more in its place +%s, %s\n", count,
                qPrintable(perLine(again - before, count)), qPrintable(clock.text()));

    // What is free inside the heap but still counted as resident.
    malloc_trim(0);
    std::printf("%8d lines: of that, free but resident (malloc_trim returns it) %s\n", count,
                qPrintable(perLine(again - bench::residentKiB(), count)));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 3 && std::string(argv[1]) == "--one") {
        QApplication app(argc, argv);
        return runOne(std::atoi(argv[2]));
    }
    if (argc == 4 && std::string(argv[1]) == "--load-memory") {
        QApplication app(argc, argv);
        return runLoadMemory(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    }
    QCoreApplication app(argc, argv);
    QStringList counts = app.arguments().mid(1);
    if (counts.isEmpty())
        counts = {QStringLiteral("10000"), QStringLiteral("100000"), QStringLiteral("1000000")};
    const auto run = [](const QStringList& arguments) {
        QProcess one;
        one.setProcessChannelMode(QProcess::ForwardedChannels);
        one.start(QCoreApplication::applicationFilePath(), arguments);
        return one.waitForFinished(-1) && one.exitStatus() == QProcess::NormalExit && one.exitCode() == 0;
    };
    QTemporaryDir dir;
    for (const QString& count : counts) {
        if (!run({QStringLiteral("--one"), count}))
            return 1;
        // The file is written here, so that the measured process never held the lines.
        const QString path = dir.filePath(QStringLiteral("load.LogDIXW"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(ui::encodeLog(consoleLog(count.toInt()))) <= 0)
            return 1;
        file.close();
        if (QFileInfo(path).size() <= ui::kLogFileByteLimit
            && !run({QStringLiteral("--load-memory"), path, count}))
            return 1;
    }
    return 0;
}
