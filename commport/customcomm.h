#pragma once
// One serial device: its line settings, its event thread, bytes in and out.
//
// Every operation, setter and handler runs on the GUI thread. The event thread hands
// each event over through the poster given to SetMainThreadPoster (which must only queue
// the call on the GUI thread, never run it in place) and waits until it has run there.
// Without a poster the handlers run on the event thread itself; they must then neither
// close nor open the port, and a lost device is only reported (the port stays open
// until its owner closes it).
//
// This header is the component's contract. How it keeps output, waits and hands events
// over is its own (customcomm.cpp); the system's part (open, line settings, waiting)
// lives behind the seam in backend.h.

#include "commerror.h"
#include "commeventchars.h"
#include "commtypes.h"
#include "mainthreadposter.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace commport {

namespace net {
class Connection;
}

class TCommEventThread;
class TCustomComm;

// What Write hands over and the line has not taken within this time is dropped: a
// request sent late would meet the reply window of another one.
inline constexpr std::chrono::milliseconds kWriteTimeout{1500};

// The most output the component keeps while the line is slow or stalled. A frame holds
// at most 1024 bytes, so this is 64 of the largest frames; and it is more than the
// fastest line (256000 bit/s, at least 7 bits a character: under 55 000 bytes) can send
// within kWriteTimeout, so the bound never drops what the time-out would have let go.
inline constexpr std::size_t kOutputQueueLimit = 64 * 1024;

using TNotifyEvent = std::function<void(TCustomComm* Sender)>;
using TCommRxCharEvent = std::function<void(TCustomComm* Sender, int Count)>;
using TCommErrorEvent = std::function<void(TCustomComm* Sender, int Errors)>;
using TCommOutputDroppedEvent = std::function<void(TCustomComm* Sender, int DroppedBytes)>;

// The status of the last event: bytes waiting in the input queue and bytes not yet
// sent (the kernel's output queue plus what the component still keeps).
struct TCommStatus {
    std::uint32_t InQueue = 0;
    std::uint32_t OutQueue = 0;
    // When the event thread woke up and found the event (steady clock, CLOCK_MONOTONIC on
    // Linux): for evRxChar, the arrival of the bytes waiting, to within the wake-up's own
    // latency. What a handler reads later may hold bytes that came after it.
    std::chrono::steady_clock::time_point EventTime{};
};

class TCustomComm {
public:
    TCustomComm();
    virtual ~TCustomComm();
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    // Opens DeviceName (closing first when open), starts the event thread and writes the
    // line settings. A failure after the device was opened leaves it open; the next
    // Open or Close releases it. A refused line setting leaves LineSettings() as it
    // was asked, so that the next Open asks again.
    void Open();
    // Stops the event thread and releases the device. Bytes that Write still keeps
    // are dropped. Safe from inside a handler.
    void Close();
    bool IsOpen() const;

    // Sends `count` bytes without blocking; what the system does not take at once is
    // kept and sent by the event thread, in order. `count` when all went out at once,
    // else -1 (also when closed or the device refuses). A write that does not fit in
    // what is left of kOutputQueueLimit is dropped whole, and what is still unsent
    // kWriteTimeout after its write is dropped then; both through OnOutputDropped.
    int Write(const void* buffer, int count);
    // Takes up to `count` bytes of what is queued, never waiting: the number taken
    // (0 when nothing is queued), or -1 when closed or on failure. The bytes that had
    // come when the device vanished are kept and read as if still queued, until they
    // are taken, purged or the next Open: a reply cut short by the loss is still read.
    int Read(void* buffer, int count);
    // Drops everything in the input queue (also what a vanished device left).
    void PurgeInput();

    // Why the last call that went to the device failed: Open, Read, Write, PurgeInput,
    // or a change of the line settings of the open port. Empty when the last of them
    // succeeded, so it speaks of the call just made; kept on Close, so the reason a
    // lost port ended can still be read. A write that is only kept for the event thread
    // has not failed; one dropped for want of room has, and so have Read and Write on a
    // closed port (both with code -1). What the event thread meets is told by
    // OnOutputDropped and OnDeviceLost, not here; but when OnDeviceLost runs, why the
    // device went is here if the system could tell (a network line: the server closed,
    // or broke the protocol: CommErrorKind::Misbehaved).
    const TCommLastError& LastError() const;

    // Properties. Those refused while open raise "Device already assigned (open)".
    const std::string& DeviceName() const;
    void SetDeviceName(const std::string& value);          // refused while open
    TCommEventType MonitorEvents() const;
    void SetMonitorEvents(TCommEventType value);           // refused while open

    // The line settings. While the port is closed they are stored and written at the
    // next Open; while it is open a record that differs from the current one is put on
    // the line in one step, and an equal one touches nothing. When the device refuses
    // a record the line goes back to the settings it had and LineSettings() keeps
    // them; the refusal raises ECommError ("Error updating DataControlBlock").
    const TLineSettings& LineSettings() const;
    void SetLineSettings(const TLineSettings& settings);
    // One value of the record each, for a caller that changes one: several of them in a
    // row put the line through every step in between, so a change of several values
    // goes through SetLineSettings.
    TBaudRate BaudRate() const { return LineSettings().BaudRate; }
    void SetBaudRate(TBaudRate value);
    TParity Parity() const { return LineSettings().Parity; }
    void SetParity(TParity value);
    TStopbits Stopbits() const { return LineSettings().Stopbits; }
    void SetStopbits(TStopbits value);
    TDatabits Databits() const { return LineSettings().Databits; }
    void SetDatabits(TDatabits value);
    TCommOptions Options() const { return LineSettings().Options; }
    void SetOptions(TCommOptions value);
    TFlowControl FlowControl() const { return LineSettings().FlowControl; }
    void SetFlowControl(TFlowControl value);
    TCommEventChars& EventChars();
    const TCommEventChars& EventChars() const;

    // Queue sizes and the read time-out are kept for the settings window only: a read
    // never waits and takes what is queued, and the output kept here is bounded by
    // kOutputQueueLimit whatever WriteBufSize says.
    int ReadBufSize() const;
    void SetReadBufSize(int value);                        // refused while open
    int WriteBufSize() const;
    void SetWriteBufSize(int value);                       // refused while open
    int CharsTimeOut() const;
    void SetCharsTimeOut(int value);

    // The path the last Open tried for DeviceName.
    const std::string& DevicePath() const;
    // Turns DeviceName into a device path; without one the name is the path.
    void SetDevicePathResolver(std::function<std::string(const std::string& name)> resolver);
    // Takes effect at the next Open.
    void SetMainThreadPoster(MainThreadPoster poster);
    // A line behind a serial device server, connected beforehand away from the GUI
    // thread (net/connector.h): the next Open of the name it was made for takes it
    // instead of connecting itself, which would hold the caller for up to the connect
    // time-out. Dropped by an Open of another name.
    void SetPreparedConnection(std::unique_ptr<net::Connection> connection);
    const TCommStatus& LineStatus() const;
    std::uint32_t LastErrors() const;

    // Three doors into the machinery, for tests and measurements only: the system's
    // handle of the open device (-1 when closed), to look at the line from outside;
    // the running event thread (nullptr when closed), whose presence tests check and
    // whose processor time the benchmarks read; and the thread's delivery itself, which
    // tests call to refresh LineStatus without waiting for an event. HandleEvents reads
    // the line status and errors, then dispatches each bit of `EventMask` in event
    // order; `Sender` is EventThread() or nullptr.
    std::intptr_t DeviceHandle() const;
    TCommEventThread* EventThread() const;
    void HandleEvents(TCommEventThread* Sender, std::uint32_t EventMask);

    TNotifyEvent OnBreak;
    TNotifyEvent OnCTS;
    TNotifyEvent OnDSR;
    TCommErrorEvent OnError;
    TNotifyEvent OnRing;
    TNotifyEvent OnRLSD;
    TCommRxCharEvent OnRxChar;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnTxEmpty;
    // The device vanished (adapter pulled, other side of a pseudo-terminal closed). The
    // port is already closed when this runs; a later Open works once the device is back.
    TNotifyEvent OnDeviceLost;
    // Output was dropped: `DroppedBytes` written bytes never went out, because the line
    // did not take them within kWriteTimeout, because they did not fit in the queue, or
    // because the device refused them with an error other than vanishing (what a
    // vanished device had not sent goes with it, told by OnDeviceLost).
    // Posted through the poster, so it runs on the GUI thread after Write has returned
    // and the event thread never waits for it; drops that come while a report is on its
    // way are added to it, so a flood of writes to a stalled line costs one queued call,
    // not one per write. Without a poster it runs at once where the drop happens (inside
    // Write, or on the event thread). Drops not yet reported when the port closes are
    // not reported, nor is what Close itself drops.
    TCommOutputDroppedEvent OnOutputDropped;

protected:
    virtual void OpenDevice();
    virtual void DispatchEvent(std::uint32_t EventMask);
    void CloseDevice();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class TComm : public TCustomComm {
public:
    using TCustomComm::TCustomComm;
};

} // namespace commport
