#include "commdevice.h"

#include "commeventwaiter.h"
#include "dcb.h"
#include "winerror.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace commport::win {

using backend::SystemError;

namespace {

// What one write hands to the driver at most: about what a UART driver or a
// terminal's buffer takes at once. The rest waits in the component's output queue,
// which bounds and times it.
constexpr DWORD kWriteChunk = 4096;

// A driver must end a cancelled request at once. One that does not within this time
// keeps its buffer for good: it is never freed while the driver may still write to it.
constexpr DWORD kCancelWaitMs = 5000;

SystemError failure(DWORD error, CommErrorKind otherwise = CommErrorKind::Other)
{
    return SystemError{MeansDeviceGone(error) ? CommErrorKind::Gone : otherwise, static_cast<int>(error),
                       ErrorText(error)};
}

} // namespace

// An overlapped request with the buffer and event that must outlive it.
struct CommDevice::Transfer {
    explicit Transfer(std::size_t size) : buffer(size), event(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Transfer()
    {
        if (event)
            ::CloseHandle(event);
    }
    OVERLAPPED* start()
    {
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = event;
        ::ResetEvent(event);
        return &overlapped;
    }
    // Cancels the request and waits for it to end; false when the driver did not end
    // it, and the transfer must then be left alone for good.
    bool cancel(HANDLE handle)
    {
        ::CancelIoEx(handle, &overlapped);
        return ::WaitForSingleObject(event, kCancelWaitMs) == WAIT_OBJECT_0;
    }

    std::vector<char> buffer;
    HANDLE event;
    OVERLAPPED overlapped{};
    DWORD size = 0;
};

std::string DeviceNamespacePath(const std::string& name)
{
    if (name.find_first_of("\\/:") != std::string::npos)
        return name;
    return "\\\\.\\" + name;
}

CommDevice::CommDevice(HANDLE handle)
    : handle_(handle), wake_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      read_(std::make_unique<Transfer>(kWriteChunk)), write_(std::make_unique<Transfer>(kWriteChunk))
{
    counts_.known = true;
}

CommDevice::~CommDevice()
{
    {
        std::lock_guard lock(writeMutex_);
        abortWriteLocked();
    }
    ::CloseHandle(handle_);
    if (wake_)
        ::CloseHandle(wake_);
}

void CommDevice::noteFailure(DWORD error)
{
    if (MeansDeviceGone(error) && !gone_.exchange(true))
        ::SetEvent(wake_);
}

bool CommDevice::queryStatus(COMSTAT& status, DWORD& failed)
{
    DWORD errors = 0;
    if (!::ClearCommError(handle_, &errors, &status)) {
        failed = ::GetLastError();
        return false;
    }
    // The driver clears its flags when asked: every caller adds what it saw to the
    // counts, so the event thread learns of errors whoever asked first.
    if (errors & CE_RXOVER)
        ++counts_.bufferOverrun;
    if (errors & CE_OVERRUN)
        ++counts_.overrun;
    if (errors & CE_RXPARITY)
        ++counts_.parity;
    if (errors & CE_FRAME)
        ++counts_.frame;
    if (errors & CE_BREAK)
        ++counts_.brk;
    return true;
}

SystemError CommDevice::ApplySettings(const backend::LineRequest& request)
{
    if (const DWORD refused = CheckLineRequest(request))
        return SystemError{CommErrorKind::SettingRefused, static_cast<int>(refused), ErrorText(refused)};
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb))
        return failure(::GetLastError(), CommErrorKind::SettingRefused);
    DCB before = dcb;
    BuildDcb(dcb, request);
    if (!::SetCommState(handle_, &dcb))
        return failure(::GetLastError(), CommErrorKind::SettingRefused);
    DCB taken{};
    taken.DCBlength = sizeof taken;
    if (!::GetCommState(handle_, &taken))
        return failure(::GetLastError(), CommErrorKind::SettingRefused);
    if (const char* what = DcbNotTaken(dcb, taken)) {
        // Taken in part: the line goes back to what it was, so a refusal changes nothing.
        ::SetCommState(handle_, &before);
        return SystemError{CommErrorKind::SettingRefused, ERROR_INVALID_PARAMETER, what};
    }
    return {};
}

std::ptrdiff_t CommDevice::Read(void* buffer, std::size_t count, SystemError& error)
{
    if (count == 0)
        return 0;
    if (gone_.load()) {
        error = failure(ERROR_DEVICE_REMOVED);
        return -1;
    }
    std::lock_guard lock(stateMutex_);
    COMSTAT status{};
    DWORD failed = 0;
    if (!queryStatus(status, failed)) {
        noteFailure(failed);
        error = failure(failed);
        return -1;
    }
    // Never more than is queued: asked for more, Wine's read waits for the rest
    // whatever the time-outs say.
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, status.cbInQue));
    if (want == 0)
        return 0;
    Transfer& io = *read_;
    if (io.buffer.size() < want)
        io.buffer.resize(want);
    DWORD got = 0;
    DWORD result = ERROR_SUCCESS;
    if (!::ReadFile(handle_, io.buffer.data(), want, nullptr, io.start())) {
        result = ::GetLastError();
        if (result == ERROR_IO_PENDING && !io.cancel(handle_)) {
            // The driver keeps the buffer; the next read gets a fresh one.
            (void)read_.release();
            read_ = std::make_unique<Transfer>(kWriteChunk);
            error = failure(ERROR_IO_PENDING);
            return -1;
        }
    }
    if (result == ERROR_SUCCESS || result == ERROR_IO_PENDING) {
        // Done at once, or cut short by the cancel: what it took is in the buffer.
        result = ::GetOverlappedResult(handle_, &io.overlapped, &got, FALSE) ? ERROR_SUCCESS : ::GetLastError();
        if (result == ERROR_OPERATION_ABORTED)
            got = static_cast<DWORD>(io.overlapped.InternalHigh);
    }
    if (result != ERROR_SUCCESS && result != ERROR_OPERATION_ABORTED) {
        noteFailure(result);
        error = failure(result);
        return -1;
    }
    std::memcpy(buffer, io.buffer.data(), got);
    announced_ -= std::min<std::size_t>(announced_, got);
    return static_cast<std::ptrdiff_t>(got);
}

bool CommDevice::writeEndedLocked()
{
    if (!writing_)
        return true;
    DWORD done = 0;
    if (::GetOverlappedResult(handle_, &write_->overlapped, &done, FALSE)) {
        writing_ = false;
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_INCOMPLETE)
        return false;
    writing_ = false;
    // Aborted: purged on purpose. Any other failure lost what the write held; without a
    // driver write time-out only a vanishing device does that, and it is reported.
    if (error != ERROR_OPERATION_ABORTED)
        noteFailure(error);
    return true;
}

void CommDevice::abortWriteLocked()
{
    if (!writing_ || writeEndedLocked())
        return;
    if (!write_->cancel(handle_)) {
        (void)write_.release();
        write_ = std::make_unique<Transfer>(kWriteChunk);
    }
    writing_ = false;
}

std::ptrdiff_t CommDevice::Write(const void* buffer, std::size_t count, SystemError& error)
{
    std::lock_guard lock(writeMutex_);
    if (!writeEndedLocked())
        return 0;
    if (gone_.load()) {
        error = failure(ERROR_DEVICE_REMOVED);
        return -1;
    }
    if (count == 0)
        return 0;
    Transfer& io = *write_;
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(count, io.buffer.size()));
    std::memcpy(io.buffer.data(), buffer, size);
    io.size = size;
    if (!::WriteFile(handle_, io.buffer.data(), size, nullptr, io.start())) {
        const DWORD result = ::GetLastError();
        if (result != ERROR_IO_PENDING) {
            noteFailure(result);
            error = failure(result);
            return -1;
        }
        writing_ = true;
    }
    return static_cast<std::ptrdiff_t>(size);
}

bool CommDevice::WriteUnderWay(HANDLE& done)
{
    std::lock_guard lock(writeMutex_);
    if (writeEndedLocked())
        return false;
    done = write_->event;
    return true;
}

std::size_t CommDevice::InputQueued()
{
    std::lock_guard lock(stateMutex_);
    COMSTAT status{};
    DWORD failed = 0;
    if (!queryStatus(status, failed)) {
        noteFailure(failed);
        return 0;
    }
    return status.cbInQue;
}

std::size_t CommDevice::OutputQueued()
{
    std::size_t underWay = 0;
    {
        std::lock_guard lock(writeMutex_);
        if (!writeEndedLocked())
            underWay = write_->size;
    }
    std::lock_guard lock(stateMutex_);
    COMSTAT status{};
    DWORD failed = 0;
    if (!queryStatus(status, failed)) {
        noteFailure(failed);
        return underWay;
    }
    return std::max<std::size_t>(underWay, status.cbOutQue);
}

SystemError CommDevice::PurgeInput()
{
    std::lock_guard lock(stateMutex_);
    announced_ = 0;
    if (!::PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR)) {
        const DWORD error = ::GetLastError();
        noteFailure(error);
        return failure(error);
    }
    return {};
}

void CommDevice::PurgeOutput()
{
    std::lock_guard lock(writeMutex_);
    // The write under way is cancelled first: emptying the driver's buffer first would
    // make room for it, and Wine would then send what is being dropped.
    abortWriteLocked();
    ::PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
}

LineErrorCounts CommDevice::ErrorCounts()
{
    std::lock_guard lock(stateMutex_);
    COMSTAT status{};
    DWORD failed = 0;
    if (!queryStatus(status, failed))
        noteFailure(failed);
    return counts_;
}

bool CommDevice::TakeNewInput()
{
    std::lock_guard lock(stateMutex_);
    COMSTAT status{};
    DWORD failed = 0;
    if (!queryStatus(status, failed)) {
        noteFailure(failed);
        return false;
    }
    const bool fresh = status.cbInQue > announced_;
    announced_ = status.cbInQue;
    return fresh;
}

std::unique_ptr<backend::EventWaiter> CommDevice::MakeWaiter(SystemError& error)
{
    auto waiter = std::make_unique<CommEventWaiter>(*this, error);
    if (error)
        return nullptr;
    return waiter;
}

std::intptr_t CommDevice::NativeHandle() const { return reinterpret_cast<std::intptr_t>(handle_); }

} // namespace commport::win
