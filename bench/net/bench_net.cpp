// The whole program (offscreen) on a line behind Debian's ser2net over the loopback
// interface, a pseudo-terminal as the device, beside the same pseudo-terminal opened
// directly: how exactly the reply window keeps its length, how long a button press
// takes to put the first byte on the device's line, and what one exchange (request,
// reply, reply window) costs the program's processor time, and the server's.
//
//   bench_net [windows] [latency-samples] [exchanges]   (defaults 60 200 60)

#include "benchfigures.h"
#include "consoletestbench.h"
#include "serialserver.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qldixw::testing;
using Clock = std::chrono::steady_clock;
using bench::percentile;
using bench::processCpuSeconds;
using bench::threadCpuSeconds;

namespace {

// Processor time of another process's main thread, in seconds: the scheduler's own
// count (/proc/PID/schedstat, nanoseconds), finer than the clock ticks of /proc/PID/stat.
// ser2net runs one thread unless told otherwise.
double processCpuSecondsOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/schedstat");
    unsigned long long ns = 0;
    stat >> ns;
    return double(ns) / 1e9;
}

bool openPort(ConsoleTestBench& bench, const QString& name)
{
    bench.control<QComboBox>(QStringLiteral("COM"))->setEditText(name);
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("OpenPort")), Qt::LeftButton);
    return QTest::qWaitFor([&] { return bench.line().portOpen(); }, 10000);
}

void closePort(ConsoleTestBench& bench)
{
    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("ClosePort")), Qt::LeftButton);
}

// Nominal 500 ms windows that end in "TimeOut", from the write of the frame to the read
// at the window's end, both stamped by the line itself.
void replyWindows(ConsoleTestBench& bench, const char* what, int count)
{
    auto& transport = bench.line();
    transport.obrabZapstr(QStringLiteral("60 01 81 *"));
    bench.waitIdle();
    std::vector<double> lateness;
    Clock::time_point opened;
    Clock::time_point read;
    QObject watching;
    QObject::connect(&transport, &transport::Transport::windowOpened, &watching, [&] { opened = Clock::now(); });
    QObject::connect(&transport, &transport::Transport::replyRead, &watching, [&] { read = Clock::now(); });
    for (int i = 0; i < count; ++i) {
        const int nominal = transport.replyWindow();
        QEventLoop loop;
        QObject::connect(&transport, &transport::Transport::replyRead, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        transport.obrabZapstr(QStringLiteral("60 01 81 *"));
        loop.exec();
        lateness.push_back(std::chrono::duration<double, std::milli>(read - opened).count() - nominal);
    }
    bench.device().receiveAvailable();
    std::printf("%-8s reply window error, %d windows of 500 ms: p50 %+.3f ms, p99 %+.3f ms\n", what, count,
                percentile(lateness, 0.5), percentile(lateness, 0.99));
}

// "Отправить" pressed → first byte readable on the device side of the pseudo-terminal.
void sendLatency(ConsoleTestBench& bench, const char* what, int samples)
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
        if (line.busy())
            line.readportandobrabotka();
        arrived = 0;
        const auto pressed = Clock::now();
        QTest::mouseClick(button, Qt::LeftButton);
        const auto deadline = pressed + std::chrono::seconds(5);
        while (arrived == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        if (arrived == 0)
            continue;
        latency.push_back(
            std::chrono::duration<double, std::micro>(Clock::time_point(Clock::duration(arrived.load())) - pressed).count());
    }
    stop = true;
    reader.join();
    line.readportandobrabotka();
    std::printf("%-8s send latency, button to first byte at the device, %zu samples: p50 %.0f us, p99 %.0f us\n", what,
                latency.size(), percentile(latency, 0.5), percentile(latency, 0.99));
}

// Exchanges with a device that answers every request at once: the program's processor
// time per exchange (the device's own thread left out), and the server's.
void exchanges(ConsoleTestBench& bench, const char* what, int count, pid_t server)
{
    auto& transport = bench.line();
    const int fd = bench.device().deviceFd();
    std::atomic<bool> stop{false};
    std::thread device([&] {
        const std::string reply = QByteArray::fromHex("0181003412345607C8").toStdString();
        std::size_t got = 0;
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char sink[256];
            const ssize_t n = ::read(fd, sink, sizeof sink);
            got += n > 0 ? std::size_t(n) : 0;
            for (; got >= 4; got -= 4)
                [[maybe_unused]] ssize_t w = ::write(fd, reply.data(), reply.size());
        }
    });
    const double cpuBefore = processCpuSeconds() - threadCpuSeconds(device.native_handle());
    const double serverBefore = server > 0 ? processCpuSecondsOf(server) : 0;
    for (int i = 0; i < count; ++i) {
        transport.obrabZapstr(QStringLiteral("60 01 81 *"));
        bench.waitIdle();
    }
    const double cpu = processCpuSeconds() - threadCpuSeconds(device.native_handle()) - cpuBefore;
    const double serverCpu = server > 0 ? processCpuSecondsOf(server) - serverBefore : 0;
    stop = true;
    device.join();
    std::printf("%-8s CPU per exchange, %d exchanges: program %.0f us", what, count, cpu * 1e6 / count);
    if (server > 0)
        std::printf(", ser2net %.0f us", serverCpu * 1e6 / count);
    std::printf("\n");
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int windows = argc > 1 ? std::atoi(argv[1]) : 60;
    const int samples = argc > 2 ? std::atoi(argv[2]) : 200;
    const int count = argc > 3 ? std::atoi(argv[3]) : 60;
    if (!SerialServer::available()) {
        std::fprintf(stderr, "ser2net is not installed\n");
        return 1;
    }
    ConsoleTestBench bench;
    SerialServer server(bench.device().portPath());
    if (!server.running()) {
        std::fprintf(stderr, "ser2net did not start\n");
        return 1;
    }
    struct Way {
        const char* what;
        QString name;
        pid_t server;
    };
    const Way ways[] = {{"pty", QStringLiteral("COM9"), -1},
                        {"rfc2217", QString::fromStdString(server.name()), server.pid()}};
    for (const Way& way : ways) {
        if (!openPort(bench, way.name)) {
            std::fprintf(stderr, "could not open %s\n", qPrintable(way.name));
            return 1;
        }
        if (windows > 0)
            replyWindows(bench, way.what, windows);
        if (samples > 0)
            sendLatency(bench, way.what, samples);
        if (count > 0)
            exchanges(bench, way.what, count, way.server);
        closePort(bench);
    }
    return 0;
}
