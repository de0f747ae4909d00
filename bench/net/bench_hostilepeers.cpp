// The serial component on network lines whose server floods, played by a peer of the
// bench's own on 127.0.0.1: the process's resident memory under each flood (the figures
// the README's reliability section gives), how long a server that never reads its
// answers is kept, and the speed at which a flood that is read comes through.
//
//   bench_hostilepeers [seconds] [answers|rfc2217|tcp]
//     seconds: how long each unread flood runs (default 10); the second argument runs one
//     flood alone (default all three)
//
// A build without sanitizers gives the figures to quote; each flood is stopped once the
// process has grown by 512 MiB, so a build where a bound is missing says so and ends.

#include "benchfigures.h"
#include "callqueue.h"
#include "customcomm.h"
#include "loopbackpeer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

using namespace qldixw::testing;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr long kGiveUpKiB = 512 * 1024;

struct Port {
    CallQueue gui;
    bool lost = false;
    std::string lostWhy;
    bool reading = false;
    std::uint64_t received = 0;
    commport::TComm comm;

    explicit Port(const std::string& name)
    {
        comm.SetDeviceName(name);
        comm.SetMainThreadPoster(gui.poster());
        comm.OnRxChar = [this](commport::TCustomComm* c, int count) {
            if (!reading)
                return;
            std::string chunk(std::size_t(count), '\0');
            const int n = c->Read(chunk.data(), count);
            received += std::uint64_t(std::max(n, 0));
        };
        comm.OnDeviceLost = [this](commport::TCustomComm* c) {
            lost = true;
            lostWhy = c->LastError().Message;
        };
    }
};

void agreeAndAnswer(PeerConnection& c)
{
    if (c.send(telnetbytes::agreeComPort()))
        c.answerComPortRequests(300ms);
}

// Runs `port` until `done`, the time is up or the process has grown by kGiveUpKiB;
// prints the memory figures.
void watch(const char* what, Port& port, std::chrono::seconds time, const std::function<bool()>& done)
{
    const long before = bench::residentKiB();
    long peak = before;
    const auto started = Clock::now();
    bool gaveUp = false;
    port.gui.runUntil(
        [&] {
            peak = std::max(peak, bench::residentKiB());
            gaveUp = peak - before > kGiveUpKiB;
            return gaveUp || done();
        },
        time);
    const double took = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("%-46s RSS %7.1f MiB -> %7.1f MiB (peak +%.1f MiB) after %.1f s%s\n", what, before / 1024.0,
                bench::residentKiB() / 1024.0, (peak - before) / 1024.0, took,
                gaveUp ? ": grew past 512 MiB, stopped" : "");
}

} // namespace

int main(int argc, char** argv)
{
    const auto time = std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 10);
    const std::string only = argc > 2 ? argv[2] : "";
    const auto runs = [&](const char* flood) { return only.empty() || only == flood; };
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string burst;
    for (int i = 0; i < 512; ++i)
        burst += std::string("\xff\xfd\x63\xff\xfa\x2c\x64\xff\xf0", 9);
    const std::string data(4096, 'U');

    if (runs("answers")) {
        LoopbackPeer peer([&](PeerConnection& c) {
            agreeAndAnswer(c);
            while (c.send(burst)) {
            }
        });
        Port port(peer.name(true));
        port.comm.Open();
        watch("rfc2217: negotiation, answers never read", port, time, [&] { return port.lost; });
        std::printf("  %s\n", port.lost ? ("dropped: " + port.lostWhy).c_str() : "still open");
    }
    for (bool rfc2217 : {true, false}) {
        if (!runs(rfc2217 ? "rfc2217" : "tcp"))
            continue;
        LoopbackPeer peer([&](PeerConnection& c) {
            if (rfc2217)
                agreeAndAnswer(c);
            while (c.send(data)) {
            }
        });
        Port port(peer.name(rfc2217));
        port.comm.Open();
        watch(rfc2217 ? "rfc2217: data flood, nobody reads" : "tcp: data flood, nobody reads", port, time,
              [] { return false; });
        std::printf("  the server got %.1f KiB out, the line keeps %u bytes\n", peer.sent() / 1024.0,
                    port.comm.LineStatus().InQueue);

        // Read from now on: what comes through, and what it costs.
        char first[4096];
        port.reading = true;
        port.received = std::uint64_t(std::max(port.comm.Read(first, sizeof first), 0));
        const double cpuBefore = bench::processCpuSeconds();
        const auto started = Clock::now();
        port.gui.runUntil([] { return false; }, 3s);
        const double took = std::chrono::duration<double>(Clock::now() - started).count();
        std::printf("  read as it comes: %.1f MiB/s, %.1f ms of CPU per MiB (the peer's sending included)\n", port.received / took / (1 << 20),
                    1000 * (bench::processCpuSeconds() - cpuBefore) / (double(port.received) / (1 << 20)));
    }
    return 0;
}
