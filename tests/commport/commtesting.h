#pragma once
// What the component tests share: a port wired to a stand-in GUI thread, and a record
// of every handler call in the order they came.

#include "callqueue.h"
#include "customcomm.h"
#include "ptypair.h"

#include <QString>
#include <QStringList>
#include <termios.h>
#include <thread>

namespace commtesting {

using commport::TComm;
using commport::TCustomComm;
using qldixw::testing::CallQueue;
using qldixw::testing::PtyPair;

// Every handler call, as "rx:<count>", "error:<flags>", "lost" or the event's name,
// together with what the call saw.
struct HandlerLog {
    QStringList calls;
    QList<int> rxCounts;
    int lost = 0;
    bool lostSawOpenPort = false;
    bool wrongThread = false;
    std::thread::id guiThread = std::this_thread::get_id();

    void note(const QString& call)
    {
        if (std::this_thread::get_id() != guiThread)
            wrongThread = true;
        calls << call;
    }

    void attach(TCustomComm& comm)
    {
        auto named = [this](const char* name) {
            return [this, name](TCustomComm*) { note(QString::fromLatin1(name)); };
        };
        comm.OnBreak = named("break");
        comm.OnCTS = named("cts");
        comm.OnDSR = named("dsr");
        comm.OnRing = named("ring");
        comm.OnRLSD = named("rlsd");
        comm.OnRxFlag = named("rxflag");
        comm.OnTxEmpty = named("txempty");
        comm.OnError = [this](TCustomComm*, int errors) { note(QStringLiteral("error:%1").arg(errors)); };
        comm.OnRxChar = [this](TCustomComm*, int count) {
            note(QStringLiteral("rx:%1").arg(count));
            rxCounts << count;
        };
        comm.OnDeviceLost = [this](TCustomComm* sender) {
            note(QStringLiteral("lost"));
            ++lost;
            lostSawOpenPort = sender->IsOpen();
        };
    }
};

// A port on the pair's port side whose events arrive through `gui`.
inline void wire(TComm& comm, PtyPair& pair, CallQueue& gui)
{
    comm.SetDeviceName(pair.portPath());
    comm.SetMainThreadPoster(gui.poster());
}

// The port side's terminal settings, as the device side sees them.
inline termios portSettings(const PtyPair& pair)
{
    termios t{};
    ::tcgetattr(pair.deviceFd(), &t);
    return t;
}

} // namespace commtesting
