#pragma once
// An open COM port on Windows: one handle opened for overlapped I/O, reads that take
// what the driver has queued, at most one write under way at a time, and the driver's
// queue sizes and error flags through ClearCommError. The event thread's waiter
// (commeventwaiter.h) shares two things with it: which queued bytes were announced
// already, and whether the device has gone.

#include "backend.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace commport::win {

// "COM12" becomes "\\.\COM12": COM10 and above can be opened only through the device
// namespace, COM1 to COM9 either way. A name with a path separator or a drive colon is
// taken as it stands.
std::string DeviceNamespacePath(const std::string& name);

class CommDevice final : public backend::Device {
public:
    // Takes `handle`: an open COM port, overlapped, its time-outs set.
    explicit CommDevice(HANDLE handle);
    ~CommDevice() override;
    CommDevice(const CommDevice&) = delete;
    CommDevice& operator=(const CommDevice&) = delete;

    backend::SystemError ApplySettings(const backend::LineRequest& request) override;
    std::ptrdiff_t Read(void* buffer, std::size_t count, backend::SystemError& error) override;
    std::ptrdiff_t Write(const void* buffer, std::size_t count, backend::SystemError& error) override;
    std::size_t InputQueued() override;
    // What the write under way has not finished, or what the driver counts, whichever
    // is more (a pseudo-terminal under Wine counts nothing).
    std::size_t OutputQueued() override;
    backend::SystemError PurgeInput() override;
    void PurgeOutput() override;
    LineErrorCounts ErrorCounts() override;
    std::unique_ptr<backend::EventWaiter> MakeWaiter(backend::SystemError& error) override;
    std::intptr_t NativeHandle() const override;

    // For the waiter.
    HANDLE Handle() const { return handle_; }
    // Set to wake the waiter: by Signal, and when a call finds the device gone.
    HANDLE WakeEvent() const { return wake_; }
    bool Gone() const { return gone_.load(); }
    // Event thread: whether bytes are queued that no event announced yet; from now on
    // they count as announced. False also when the device is gone (Gone says so).
    bool TakeNewInput();
    // Whether a write is still under way; `done` is then set when it ends.
    bool WriteUnderWay(HANDLE& done);

private:
    struct Transfer;
    bool queryStatus(COMSTAT& status, DWORD& failure); // holds stateMutex_
    void noteFailure(DWORD error);
    bool writeEndedLocked();                            // holds writeMutex_
    void abortWriteLocked();                            // holds writeMutex_

    const HANDLE handle_;
    const HANDLE wake_;
    std::atomic<bool> gone_{false};

    std::mutex stateMutex_; // ClearCommError's flags and queue counts, reads
    LineErrorCounts counts_;
    std::size_t announced_ = 0; // queued bytes an event has announced
    std::unique_ptr<Transfer> read_;

    std::mutex writeMutex_;
    std::unique_ptr<Transfer> write_;
    bool writing_ = false;
};

} // namespace commport::win
