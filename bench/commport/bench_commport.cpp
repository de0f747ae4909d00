// Serial port component on a pseudo-terminal, handing its events to a real Qt event
// loop through a queued call, as the program does: how much memory output costs when
// the device reads nothing, what the port costs while it idles with unread bytes, what
// a flood costs per MiB when the handler does what the program's does (count, and take
// one reply buffer when it is full), and how long bytes take from the line to OnRxChar
// on the GUI thread.
//
//   bench_commport [idle-seconds] [flood-MiB] [latency-samples] [stalled-MiB]
//                  (defaults 10 4 2000 64)

#include "commeventthread.h"
#include "customcomm.h"
#include "ptypair.h"
#include "benchfigures.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace commport;
using qldixw::testing::PtyPair;
using Clock = std::chrono::steady_clock;

using bench::peakResidentKiB;
using bench::processCpuSeconds;

namespace {

double ms(std::chrono::nanoseconds d) { return double(d.count()) / 1e6; }

std::chrono::nanoseconds threadCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

// The GUI thread as the program has it: Qt's event loop, reached by a queued call.
class GuiLoop {
public:
    MainThreadPoster poster()
    {
        return [this](std::function<void()> call) {
            QMetaObject::invokeMethod(&context_, std::move(call), Qt::QueuedConnection);
        };
    }
    // Sleeps in the event loop between events, as the program does.
    template <class Done>
    bool runUntil(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        const auto end = Clock::now() + timeout;
        QEventLoop loop;
        QTimer wake; // only so that a time-out is noticed
        wake.start(100);
        while (!done()) {
            if (Clock::now() >= end)
                return false;
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }
    void runFor(std::chrono::milliseconds time)
    {
        QEventLoop loop;
        QTimer::singleShot(time, &loop, &QEventLoop::quit);
        loop.exec();
    }

private:
    QObject context_;
};

void openOn(TComm& comm, PtyPair& pair, GuiLoop& gui)
{
    comm.SetDeviceName(pair.portPath());
    comm.SetMainThreadPoster(gui.poster());
    comm.SetBaudRate(TBaudRate::cbr115200);
    comm.SetMonitorEvents({TCommEventState::evRxChar});
    comm.Open();
}

// Frames of the largest size offered to a device that reads nothing: the queue must stay
// bounded and everything the line does not take must be dropped and reported.
void stalledDevice(int mebibytes)
{
    PtyPair pair;
    GuiLoop gui;
    TComm comm;
    std::size_t dropped = 0;
    int reports = 0;
    comm.OnOutputDropped = [&](TCustomComm*, int bytes) {
        dropped += std::size_t(bytes);
        ++reports;
    };
    openOn(comm, pair, gui);

    const long peakBefore = peakResidentKiB();
    const std::string frame(1024, 'W');
    const std::size_t total = std::size_t(mebibytes) << 20;
    std::uint32_t mostKept = 0;
    int takenAtOnce = 0;
    const auto start = Clock::now();
    for (std::size_t offered = 0; offered < total; offered += frame.size()) {
        if (comm.Write(frame.data(), int(frame.size())) == int(frame.size()))
            ++takenAtOnce;
        if (offered % (256 * 1024) == 0) {
            QCoreApplication::processEvents();
            comm.HandleEvents(comm.EventThread(), 0);
            mostKept = std::max(mostKept, comm.LineStatus().OutQueue);
        }
    }
    const auto offerTime = Clock::now() - start;
    // Let what was kept expire.
    gui.runFor(kWriteTimeout + std::chrono::milliseconds(500));
    const long peakAfter = peakResidentKiB();
    std::printf("device reading nothing, %d MiB offered in %zu-byte writes (%.0f ms): queue bound %zu "
                "bytes, most kept %u bytes, %d writes taken by the kernel at once, %.1f MiB dropped "
                "in %d reports; peak RSS %ld -> %ld KiB (+%ld KiB)\n",
                mebibytes, frame.size(), ms(offerTime), kOutputQueueLimit, mostKept, takenAtOnce,
                double(dropped) / double(1 << 20), reports, peakBefore, peakAfter, peakAfter - peakBefore);
}

void idleWithUnreadBytes(int seconds)
{
    PtyPair pair;
    GuiLoop gui;
    TComm comm;
    int events = 0;
    comm.OnRxChar = [&](TCustomComm*, int) { ++events; };
    openOn(comm, pair, gui);

    pair.send(std::string(100, 'x'));
    gui.runUntil([&] { return events > 0; });
    const int eventsBefore = events;
    const auto cpuBefore = comm.EventThread()->CpuTime();
    const double processBefore = 1e3 * processCpuSeconds();
    gui.runFor(std::chrono::seconds(seconds));
    const auto cpu = comm.EventThread()->CpuTime() - cpuBefore;
    const double process = 1e3 * processCpuSeconds() - processBefore;
    std::printf("idle, 100 unread bytes, %d s: event thread CPU %.3f ms, whole process (Qt event loop) %.3f ms "
                "(%.4f%% of a core), events %d\n",
                seconds, ms(cpu), process, process / (10.0 * seconds), events - eventsBefore);
}

void flood(int mebibytes)
{
    PtyPair pair;
    GuiLoop gui;
    TComm comm;
    std::size_t received = 0;
    int events = 0;
    std::vector<char> sink(64 * 1024);
    // As the program: the event only records the count, and at the end of each reply
    // window one read takes at most a reply buffer. The windows are 20 ms here, not
    // 500, so that a flood of a few MiB passes in seconds.
    int counted = 0;
    comm.OnRxChar = [&](TCustomComm*, int count) {
        ++events;
        counted = count;
    };
    QTimer window;
    QObject::connect(&window, &QTimer::timeout, [&] {
        const int n = comm.Read(sink.data(), std::min(counted, 4096));
        counted = 0;
        if (n > 0)
            received += std::size_t(n);
    });
    window.start(20);
    openOn(comm, pair, gui);

    const std::size_t total = std::size_t(mebibytes) << 20;
    const auto threadBefore = comm.EventThread()->CpuTime();
    const auto guiBefore = threadCpu();
    const auto start = Clock::now();
    std::thread writer([&] {
        const std::string chunk(4096, 'F');
        for (std::size_t sent = 0; sent < total; sent += chunk.size())
            pair.send(chunk.data(), std::min(chunk.size(), total - sent), std::chrono::seconds(30));
    });
    gui.runUntil([&] { return received >= total; }, std::chrono::seconds(120));
    const auto wall = Clock::now() - start;
    writer.join();
    const auto threadCpuUsed = comm.EventThread()->CpuTime() - threadBefore;
    const auto guiCpuUsed = threadCpu() - guiBefore;
    const double mib = double(received) / double(1 << 20);
    std::printf("flood, reply windows of 20 ms, %.0f MiB in %.2f s (%.2f MiB/s), %d events: event thread %.3f ms CPU/MiB, "
                "GUI thread (Qt event loop, handler) %.3f ms CPU/MiB\n",
                mib, ms(wall) / 1000, mib / (ms(wall) / 1000), events, ms(threadCpuUsed) / mib,
                ms(guiCpuUsed) / mib);
}

void latency(int samples)
{
    PtyPair pair;
    GuiLoop gui;
    TComm comm;
    Clock::time_point handled;
    bool seen = false;
    comm.OnRxChar = [&](TCustomComm* sender, int count) {
        handled = Clock::now();
        seen = true;
        std::vector<char> sink(std::size_t(std::max(count, 1)));
        sender->Read(sink.data(), count);
    };
    openOn(comm, pair, gui);

    std::vector<double> micros;
    micros.reserve(std::size_t(samples));
    for (int i = 0; i < samples; ++i) {
        seen = false;
        const auto sent = Clock::now();
        pair.send("L");
        if (!gui.runUntil([&] { return seen; }, std::chrono::seconds(2)))
            continue;
        micros.push_back(double(std::chrono::duration_cast<std::chrono::nanoseconds>(handled - sent).count()) / 1e3);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros.empty() ? 0.0 : micros[std::size_t(q * double(micros.size() - 1))]; };
    std::printf("hand-over latency, device write to OnRxChar through Qt's queued call, %zu samples: p50 %.0f us, "
                "p99 %.0f us, max %.0f us\n",
                micros.size(), at(0.50), at(0.99), micros.empty() ? 0.0 : micros.back());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int floodMiB = argc > 2 ? std::atoi(argv[2]) : 4;
    const int samples = argc > 3 ? std::atoi(argv[3]) : 2000;
    const int stalledMiB = argc > 4 ? std::atoi(argv[4]) : 64;
    // First, while the peak resident size still belongs to nothing else.
    stalledDevice(stalledMiB);
    idleWithUnreadBytes(idleSeconds);
    flood(floodMiB);
    latency(samples);
    return 0;
}
