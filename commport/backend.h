#pragma once
// The seam between the serial port component and the system under it. Everything the
// component and its event thread ask of the system goes through the operations here,
// so the component itself names no system type. The build picks one backend for local
// devices (linux/ on Linux); a backend for another system is one more file that
// implements OpenLocalDevice, Device, EventWaiter and ThreadCpuTime. OpenDevice chooses
// by the name: a line behind a serial device server ("rfc2217://", "tcp://", net/) or
// the system's own device.
//
// Threads: a Device is used from the GUI thread and from the event thread at once,
// but never for the same operation at the same time (output is serialised by the
// output queue's lock); an EventWaiter belongs to the event thread, except Signal.

#include "commerror.h"
#include "commtypes.h"
#include "lineerrors.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace commport::backend {

// A failed system call: what kind of failure it is, and the system's own code and text.
// The code is -1 where the refusal is the backend's, not the system's.
struct SystemError {
    CommErrorKind kind = CommErrorKind::None;
    int code = 0;
    std::string text;
    explicit operator bool() const { return kind != CommErrorKind::None; }
};

// The component's line settings, as the backend is to put them on the line.
//
// Whatever the device held before, the line then carries every byte unchanged in both
// directions: no echo, no line editing, no character translation, no signals, and no
// handshake but the one FlowControl asks for (fcDefault is the same as fcNone, as a
// freshly opened port is elsewhere). fcSoftware stops output on XoffChar from the
// device and resumes on XonChar, and sends them itself when its input queue fills.
using LineRequest = TLineSettings;

class EventWaiter;

// An open serial device, held for exclusive use. Destroying it releases the device.
class Device {
public:
    virtual ~Device() = default;

    // Puts the settings on the line. A refusal leaves the line as it was when the
    // backend can tell beforehand (SettingRefused, Unsupported); a driver that takes
    // part of a record and drops the rest is reported as SettingRefused too.
    virtual SystemError ApplySettings(const LineRequest& request) = 0;

    // Takes up to `count` queued bytes without waiting: the number taken (0 when
    // nothing is queued), or -1 with `error` set.
    virtual std::ptrdiff_t Read(void* buffer, std::size_t count, SystemError& error) = 0;
    // Hands up to `count` bytes to the system without waiting: the number it took (0
    // when it has no room now), or -1 with `error` set (kind Gone: the device vanished).
    virtual std::ptrdiff_t Write(const void* buffer, std::size_t count, SystemError& error) = 0;

    // Bytes waiting to be read.
    virtual std::size_t InputQueued() = 0;
    // Bytes the system has taken and not yet put on the line; 0 when it cannot tell.
    // The output queue takes a 0 at its word: what it handed over counts as sent, and
    // it leaves alone a buffer that may still hold it (emptying it would lose bytes
    // counted as sent), so a backend that can count should.
    virtual std::size_t OutputQueued() = 0;
    // Drops everything waiting to be read.
    virtual SystemError PurgeInput() = 0;
    // Drops everything the system has taken and not yet put on the line.
    virtual void PurgeOutput() = 0;

    virtual LineErrorCounts ErrorCounts() = 0;

    // After the event thread found the device gone: why, when the backend can tell more
    // than that it went (a network line: the server closed, the connection failed, the
    // server broke the protocol). Nothing by default.
    virtual SystemError LossReason() { return {}; }

    // The waiting primitive of the event thread for this device.
    virtual std::unique_ptr<EventWaiter> MakeWaiter(SystemError& error) = 0;

    // The system's own handle of the device, for tests and measurements.
    virtual std::intptr_t NativeHandle() const = 0;
};

// What the event thread waits on: bytes arriving, room to write, the device vanishing,
// a signal from another thread, or a time-out.
class EventWaiter {
public:
    struct Wakeup {
        bool input = false;     // bytes arrived since the last wake-up; bytes already
                                // reported and still unread do not wake it again
        bool room = false;      // the device can take more output (only while watched)
        bool hangUp = false;    // the device vanished
        bool signalled = false; // Signal was called
        bool failed = false;    // the wait itself failed: the thread is to end
    };

    virtual ~EventWaiter() = default;
    // Event thread: waits until something above happens, or until `timeout` has passed
    // (no limit without one). An empty Wakeup means the time-out passed or the wait
    // was interrupted.
    virtual Wakeup Wait(std::optional<std::chrono::nanoseconds> timeout) = 0;
    // Event thread: whether Wait wakes up for room to write.
    virtual void WatchRoom(bool watch) = 0;
    // Any thread: wakes Wait, also one that has not begun yet.
    virtual void Signal() = 0;
};

// Opens `path` for exclusive use as a serial port: nullptr with `error` set when it
// does not exist (NotFound), may not be used (AccessDenied), is held by another program
// (Busy) or is no serial device (NotAPort). A network name (net/networkname.h) is
// connected to, which blocks the caller for a few seconds at most (net/netconnection.h).
std::unique_ptr<Device> OpenDevice(const std::string& path, SystemError& error);
// The system's own device of that path, never a network line.
std::unique_ptr<Device> OpenLocalDevice(const std::string& path, SystemError& error);

// Processor time a running thread has used so far; zero when the system cannot tell.
std::chrono::nanoseconds ThreadCpuTime(std::thread::native_handle_type thread);

} // namespace commport::backend
