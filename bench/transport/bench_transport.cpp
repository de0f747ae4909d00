// The transport on the whole program (offscreen) with a pseudo-terminal as the cable:
// how exactly the reply window keeps its length, how long a button press takes to put
// the first byte on the line, and what a log line costs as the log pane grows.
//
//   bench_transport [windows] [latency-samples] [log-lines] [flood-windows]
//                   (defaults 200 200 1000000 20)

#include "consoletestbench.h"
#include "benchfigures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qldixw::testing;
using Clock = std::chrono::steady_clock;

using bench::percentile;
using bench::residentKiB;
using bench::processCpuSeconds;
using bench::threadCpuSeconds;

namespace {

// Nominal 500 ms windows that end in "TimeOut": the actual length from the write of
// the frame that opened the window to the read at its end, both stamped by the line
// itself, before anything is logged.
void replyWindows(ConsoleTestBench& bench, int count)
{
    auto& transport = bench.line();
    // The first window after start is 600 ms; measure from the second on.
    transport.obrabZapstr(QStringLiteral("60 01 81 *"));
    bench.waitIdle();

    std::vector<double> lateness;
    Clock::time_point opened;
    Clock::time_point read;
    QObject watching; // ends the connections with this function
    QObject::connect(&transport, &transport::Transport::windowOpened, &watching, [&] { opened = Clock::now(); });
    QObject::connect(&transport, &transport::Transport::replyRead, &watching, [&] { read = Clock::now(); });
    for (int i = 0; i < count; ++i) {
        const int nominal = transport.replyWindow();
        // A real event loop, as the program runs: it sleeps until the window is due.
        QEventLoop loop;
        QObject::connect(&transport, &transport::Transport::replyRead, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        transport.obrabZapstr(QStringLiteral("60 01 81 *"));
        loop.exec();
        const double actual = std::chrono::duration<double, std::milli>(read - opened).count();
        lateness.push_back(actual - nominal);
    }
    bench.device().receiveAvailable();
    std::printf("reply window error (write to read), %d windows of 500 ms: p50 %+.3f ms, p99 %+.3f ms, max %+.3f ms "
                "(goal p50 <= 0.3, p99 <= 2)\n",
                count, percentile(lateness, 0.5), percentile(lateness, 0.99),
                *std::max_element(lateness.begin(), lateness.end()));
}

// "Отправить" pressed → first byte readable on the device side.
void sendLatency(ConsoleTestBench& bench, int samples)
{
    auto& line = bench.line();
    const int fd = bench.device().deviceFd();
    std::atomic<Clock::rep> arrived{0};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                arrived = Clock::now().time_since_epoch().count();
                char sink[256];
                while (::read(fd, sink, sizeof sink) > 0) {
                }
            }
        }
    });

    bench.control<QLineEdit>(QStringLiteral("otpravedit"))->setText(QStringLiteral("60 01 81 *"));
    auto* button = bench.control<QPushButton>(QStringLiteral("OtpravButton"));
    std::vector<double> latency;
    for (int i = 0; i < samples; ++i) {
        // Only the send path is measured: end the window at once instead of waiting.
        if (line.busy())
            line.readportandobrabotka();
        arrived = 0;
        const auto pressed = Clock::now();
        QTest::mouseClick(button, Qt::LeftButton);
        while (arrived == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        latency.push_back(std::chrono::duration<double, std::micro>(
                              Clock::time_point(Clock::duration(arrived.load())) - pressed)
                              .count());
    }
    stop = true;
    reader.join();
    line.readportandobrabotka();
    std::printf("send latency, button press to first byte at the device, %d samples: p50 %.0f us, p99 %.0f us\n",
                samples, percentile(latency, 0.5), percentile(latency, 0.99));
}

// A device that never stops talking, and the console asking it something every
// window: how much the program takes in per second and what a MiB of it costs. The
// program reads at most one reply buffer per window and logs it as one line; what it
// does not read waits in the kernel. `early`: the window is ended as soon as a full
// buffer is counted, to see the cost of the receive path at its highest rate.
void flood(ConsoleTestBench& bench, int windows, bool early)
{
    auto& transport = bench.line();
    const int fd = bench.device().deviceFd();
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const std::string chunk(4096, char(0x5A));
        while (!stop) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLOUT))
                [[maybe_unused]] ssize_t n = ::write(fd, chunk.data(), chunk.size());
        }
    });
    long long intake = 0;
    QObject watching;
    QObject::connect(&transport, &transport::Transport::replyRead, &watching, [&](int bytes) { intake += bytes; });
    const double cpuBefore = processCpuSeconds() - threadCpuSeconds(writer.native_handle());
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < windows; ++i) {
        transport.obrabZapstr(QStringLiteral("60 01 81 *"));
        if (early) {
            // A pseudo-terminal holds a little under one reply buffer.
            if (!QTest::qWaitFor([&] { return transport.receivedByteCount() >= 4000; }, 2000))
                std::fprintf(stderr, "the flood stalled\n");
            transport.readportandobrabotka();
        } else {
            bench.waitIdle();
        }
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = processCpuSeconds() - threadCpuSeconds(writer.native_handle()) - cpuBefore;
    stop = true;
    writer.join();
    const double mib = double(intake) / (1024.0 * 1024.0);
    std::printf("flood, %s, %d windows: intake %.1f KiB/s, program CPU %.3f s per MiB taken in (%.0f%% of a core)\n",
                early ? "window ended at a full buffer" : "500 ms windows", windows, double(intake) / 1024.0 / seconds,
                mib > 0 ? cpu / mib : 0.0, 100.0 * cpu / seconds);
}

// Appending "PC<- (...)  ..." lines to the console log; cost per line around each size.
void logPane(ConsoleTestBench& bench, int lines)
{
    auto* pane = bench.window().findChild<ui::LogPane*>(QStringLiteral("dannieListBox1"));
    pane->clear();
    QApplication::processEvents();
    const QString line = QStringLiteral("PC<- (07.12.2026 10:11:12)  01 81 00 12 34 56 07 C8");
    const long rssBefore = residentKiB();
    int appended = 0;
    for (int mark = 10000; mark <= lines; mark *= 10) {
        // Fill up to just below the mark, then time a batch of 1000 around it.
        while (appended < mark - 1000) {
            pane->appendLine(line);
            ++appended;
            if (appended % 10000 == 0)
                QApplication::processEvents();
        }
        QApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 1000; ++i) {
            pane->appendLine(line);
            QApplication::processEvents();
        }
        appended += 1000;
        std::printf("log pane at %7d lines: %.1f us per appended line (shown, events processed)\n", mark,
                    double(clock.nsecsElapsed()) / 1000.0 / 1000.0);
    }
    const long rss = residentKiB() - rssBefore;
    std::printf("log pane memory: %.0f bytes per line over %d lines of %lld characters\n",
                double(rss) * 1024.0 / appended, appended, static_cast<long long>(line.size()));
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int windows = argc > 1 ? std::atoi(argv[1]) : 200;
    const int samples = argc > 2 ? std::atoi(argv[2]) : 200;
    const int lines = argc > 3 ? std::atoi(argv[3]) : 1000000;

    ConsoleTestBench bench;
    if (!bench.openPort()) {
        std::fprintf(stderr, "could not open the port\n");
        return 1;
    }
    if (windows > 0)
        replyWindows(bench, windows);
    if (samples > 0)
        sendLatency(bench, samples);
    const int floodWindows = argc > 4 ? std::atoi(argv[4]) : 20;
    if (floodWindows > 0) {
        flood(bench, floodWindows, false);
        flood(bench, floodWindows * 20, true);
    }
    if (lines > 0)
        logPane(bench, lines);
    return 0;
}
