#pragma once
// What the component tests on Windows share: a port wired to a stand-in GUI thread and a
// record of every handler call, as the Linux tests keep it.

#include "callqueue.h"
#include "customcomm.h"
#include "minitest.h"
#include "peerclient.h"

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace wintest {

using commport::TComm;
using commport::TCustomComm;
using qldixw::testing::CallQueue;

struct HandlerLog {
    std::vector<std::string> calls;
    std::vector<int> rxCounts;
    int lost = 0;
    bool lostSawOpenPort = false;
    bool wrongThread = false;
    std::thread::id guiThread = std::this_thread::get_id();

    void note(const std::string& call)
    {
        if (std::this_thread::get_id() != guiThread)
            wrongThread = true;
        calls.push_back(call);
    }

    void attach(TCustomComm& comm)
    {
        auto named = [this](const char* name) { return [this, name](TCustomComm*) { note(name); }; };
        comm.OnBreak = named("break");
        comm.OnCTS = named("cts");
        comm.OnDSR = named("dsr");
        comm.OnRing = named("ring");
        comm.OnRLSD = named("rlsd");
        comm.OnRxFlag = named("rxflag");
        comm.OnTxEmpty = named("txempty");
        comm.OnError = [this](TCustomComm*, int errors) { note("error:" + std::to_string(errors)); };
        comm.OnRxChar = [this](TCustomComm*, int count) {
            note("rx:" + std::to_string(count));
            rxCounts.push_back(count);
        };
        comm.OnDeviceLost = [this](TCustomComm* sender) {
            note("lost");
            ++lost;
            lostSawOpenPort = sender->IsOpen();
        };
    }
};

// A port on the device's COM name whose events arrive through `gui`.
inline void wire(TComm& comm, const PeerDevice& device, CallQueue& gui)
{
    comm.SetDeviceName(device.name());
    comm.SetMainThreadPoster(gui.poster());
}

// Bytes 0 to 255 `rounds` times, each round shifted so no two rounds are alike.
inline std::string everyByte(int rounds = 1)
{
    std::string bytes;
    for (int r = 0; r < rounds; ++r)
        for (int i = 0; i < 256; ++i)
            bytes += static_cast<char>((i + r * 37) & 0xff);
    return bytes;
}

} // namespace wintest
