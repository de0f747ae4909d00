// Serial port component on a pseudo-terminal: how much memory output costs when the
// device reads nothing, what the event thread costs while the port idles with unread
// bytes, what a flood costs per MiB, and how long bytes take from the line to OnRxChar
// on the GUI thread.
//
//   bench_commport [idle-seconds] [flood-MiB] [latency-samples] [stalled-MiB]
//                  (defaults 10 16 2000 64)

#include "callqueue.h"
#include "customcomm.h"
#include "ptypair.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace commport;
using qldixw::testing::CallQueue;
using qldixw::testing::PtyPair;
using Clock = std::chrono::steady_clock;

namespace {

double ms(std::chrono::nanoseconds d) { return double(d.count()) / 1e6; }

std::chrono::nanoseconds threadCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

void openOn(TComm& comm, PtyPair& pair, CallQueue& gui)
{
    comm.SetDeviceName(pair.portPath());
    comm.SetMainThreadPoster(gui.poster());
    comm.SetBaudRate(TBaudRate::cbr115200);
    comm.SetMonitorEvents({TCommEventState::evRxChar});
    comm.Open();
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Frames of the largest size offered to a device that reads nothing: the queue must stay
// bounded and everything the line does not take must be dropped and reported.
void stalledDevice(int mebibytes)
{
    PtyPair pair;
    CallQueue gui;
    TComm comm;
    std::size_t dropped = 0;
    int reports = 0;
    comm.OnOutputDropped = [&](TCustomComm*, int bytes) {
        dropped += std::size_t(bytes);
        ++reports;
    };
    openOn(comm, pair, gui);

    const long peakBefore = peakRssKiB();
    const std::string frame(1024, 'W');
    const std::size_t total = std::size_t(mebibytes) << 20;
    std::uint32_t mostKept = 0;
    int takenAtOnce = 0;
    const auto start = Clock::now();
    for (std::size_t offered = 0; offered < total; offered += frame.size()) {
        if (comm.Write(frame.data(), int(frame.size())) == int(frame.size()))
            ++takenAtOnce;
        if (offered % (256 * 1024) == 0) {
            gui.runPending();
            comm.HandleEvents(comm.EventThread(), 0);
            mostKept = std::max(mostKept, comm.LineStatus().OutQueue);
        }
    }
    const auto offerTime = Clock::now() - start;
    // Let what was kept expire.
    gui.runFor(kWriteTimeout + std::chrono::milliseconds(500));
    const long peakAfter = peakRssKiB();
    std::printf("device reading nothing, %d MiB offered in %zu-byte writes (%.0f ms): queue bound %zu "
                "bytes, most kept %u bytes, %d writes taken by the kernel at once, %.1f MiB dropped "
                "in %d reports; peak RSS %ld -> %ld KiB (+%ld KiB)\n",
                mebibytes, frame.size(), ms(offerTime), kOutputQueueLimit, mostKept, takenAtOnce,
                double(dropped) / double(1 << 20), reports, peakBefore, peakAfter, peakAfter - peakBefore);
}

void idleWithUnreadBytes(int seconds)
{
    PtyPair pair;
    CallQueue gui;
    TComm comm;
    int events = 0;
    comm.OnRxChar = [&](TCustomComm*, int) { ++events; };
    openOn(comm, pair, gui);

    pair.send(std::string(100, 'x'));
    gui.runUntil([&] { return events > 0; });
    const int eventsBefore = events;
    const auto cpuBefore = comm.EventThread()->CpuTime();
    gui.runFor(std::chrono::seconds(seconds));
    const auto cpu = comm.EventThread()->CpuTime() - cpuBefore;
    std::printf("idle, 100 unread bytes, %d s: event thread CPU %.3f ms, events %d\n", seconds,
                ms(cpu), events - eventsBefore);
}

void flood(int mebibytes)
{
    PtyPair pair;
    CallQueue gui;
    TComm comm;
    std::size_t received = 0;
    int events = 0;
    std::vector<char> sink(64 * 1024);
    comm.OnRxChar = [&](TCustomComm* sender, int count) {
        ++events;
        while (count > 0) {
            const int n = sender->Read(sink.data(), std::min<int>(count, int(sink.size())));
            if (n <= 0)
                break;
            received += std::size_t(n);
            count -= n;
        }
    };
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
    std::printf("flood, %.0f MiB in %.2f s (%.1f MiB/s), %d events: event thread %.3f ms CPU/MiB, "
                "GUI thread (handler reads) %.3f ms CPU/MiB\n",
                mib, ms(wall) / 1000, mib / (ms(wall) / 1000), events, ms(threadCpuUsed) / mib,
                ms(guiCpuUsed) / mib);
}

void latency(int samples)
{
    PtyPair pair;
    CallQueue gui;
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
    std::printf("latency, device write to OnRxChar on the GUI thread, %zu samples: p50 %.0f us, "
                "p99 %.0f us, max %.0f us\n",
                micros.size(), at(0.50), at(0.99), micros.empty() ? 0.0 : micros.back());
}

} // namespace

int main(int argc, char** argv)
{
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int floodMiB = argc > 2 ? std::atoi(argv[2]) : 16;
    const int samples = argc > 3 ? std::atoi(argv[3]) : 2000;
    const int stalledMiB = argc > 4 ? std::atoi(argv[4]) : 64;
    // First, while the peak resident size still belongs to nothing else.
    stalledDevice(stalledMiB);
    idleWithUnreadBytes(idleSeconds);
    flood(floodMiB);
    latency(samples);
    return 0;
}
