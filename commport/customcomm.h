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
// The system's part (open, line settings, waiting) lives behind the seam in backend.h;
// nothing here names a type of one system.

#include "commerror.h"
#include "commeventchars.h"
#include "commeventthread.h"
#include "commtypes.h"
#include "handover.h"
#include "lineerrors.h"
#include "outputqueue.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace commport {

namespace backend {
class Device;
}

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
};

class TCustomComm {
public:
    TCustomComm();
    virtual ~TCustomComm();
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    // Opens DeviceName (closing first when open), starts the event thread and writes the
    // line settings. A failure after the device was opened leaves it open; the next
    // Open or Close releases it.
    void Open();
    // Stops the event thread and releases the device. Bytes that Write still keeps
    // are dropped. Safe from inside a handler.
    void Close();
    bool IsOpen() const { return device_ != nullptr; }

    // Sends `count` bytes without blocking; what the system does not take at once is
    // kept and sent by the event thread, in order. `count` when all went out at once,
    // else -1 (also when closed or the device refuses). A write that does not fit in
    // what is left of kOutputQueueLimit is dropped whole, and what is still unsent
    // kWriteTimeout after its write is dropped then; both through OnOutputDropped.
    int Write(const void* buffer, int count);
    // Takes up to `count` bytes of what is queued, never waiting: the number taken
    // (0 when nothing is queued), or -1 when closed or on failure.
    int Read(void* buffer, int count);
    // Drops everything in the input queue. Does nothing when closed.
    void PurgeInput();

    // Writes the stored line settings to the device; does nothing when closed.
    void ApplyLineSettings();
    // GUI thread: reads the line status and errors, then dispatches each bit of
    // `EventMask` in event order.
    void HandleEvents(TCommEventThread* Sender, std::uint32_t EventMask);

    // Properties. Those refused while open raise "Device already assigned (open)".
    const std::string& DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& value);          // refused while open
    TCommEventType MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TCommEventType value);           // refused while open
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity value);
    TStopbits Stopbits() const { return stopbits_; }
    void SetStopbits(TStopbits value);
    TDatabits Databits() const { return databits_; }
    void SetDatabits(TDatabits value);
    // Queue sizes and the read time-out are kept for the settings window only: a read
    // never waits and takes what is queued, and the output kept here is bounded by
    // kOutputQueueLimit whatever WriteBufSize says.
    int ReadBufSize() const { return readBufSize_; }
    void SetReadBufSize(int value);                        // refused while open
    int WriteBufSize() const { return writeBufSize_; }
    void SetWriteBufSize(int value);                       // refused while open
    int CharsTimeOut() const { return charsTimeOut_; }
    void SetCharsTimeOut(int value);
    TCommOptions Options() const { return options_; }
    void SetOptions(TCommOptions value);
    TFlowControl FlowControl() const { return flowControl_; }
    void SetFlowControl(TFlowControl value);
    TCommEventChars& EventChars() { return *eventChars_; }
    const TCommEventChars& EventChars() const { return *eventChars_; }

    // The system's handle of the open device (for tests and measurements), -1 when closed.
    std::intptr_t DeviceHandle() const;
    // The path the last Open tried for DeviceName.
    const std::string& DevicePath() const { return devicePath_; }
    // Turns DeviceName into a device path; without one the name is the path.
    void SetDevicePathResolver(std::function<std::string(const std::string& name)> resolver);
    // Takes effect at the next Open.
    void SetMainThreadPoster(MainThreadPoster poster);
    const TCommStatus& LineStatus() const { return lineStatus_; }
    std::uint32_t LastErrors() const { return lastErrors_; }
    TCommEventThread* EventThread() const { return eventThread_.get(); }

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
    void refuseWhileOpen() const;
    // An equal value touches nothing; a new one is stored and written to the device.
    template <class T>
    void setLineValue(T& field, T value)
    {
        if (value == field)
            return;
        field = value;
        ApplyLineSettings();
    }
    void deviceLost();
    // Any thread: adds to the drop report on its way, or posts one.
    void noteOutputDropped(std::size_t bytes);
    void reportOutputDropped();

    std::unique_ptr<backend::Device> device_;
    bool closing_ = false;
    std::string deviceName_ = "Com2";
    std::string devicePath_;
    std::function<std::string(const std::string&)> resolver_;
    MainThreadPoster poster_;
    TCommStatus lineStatus_;
    std::uint32_t lastErrors_ = 0;
    TCommEventType monitorEvents_ = AllCommEvents();
    TBaudRate baudRate_ = TBaudRate::cbr9600;
    TParity parity_ = TParity::paNone;
    TStopbits stopbits_ = TStopbits::sb10;
    TDatabits databits_ = TDatabits::da8;
    int readBufSize_ = 4096;
    int writeBufSize_ = 2048;
    int charsTimeOut_ = 250;
    TCommOptions options_;
    std::unique_ptr<TCommEventChars> eventChars_;
    TFlowControl flowControl_ = TFlowControl::fcDefault;
    OutputQueue output_{kOutputQueueLimit, kWriteTimeout};
    std::shared_ptr<HandOver> handOver_;
    std::unique_ptr<TCommEventThread> eventThread_;
    std::mutex dropMutex_;
    std::size_t unreportedDrops_ = 0; // a report is posted while this is not 0
};

class TComm : public TCustomComm {
public:
    using TCustomComm::TCustomComm;
};

} // namespace commport
