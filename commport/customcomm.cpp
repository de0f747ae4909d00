#include "customcomm.h"

#include "backend.h"

#include <climits>
#include <exception>
#include <utility>

namespace commport {

TCustomComm::TCustomComm() : eventChars_(std::make_unique<TCommEventChars>(this)) {}

TCustomComm::~TCustomComm()
{
    try {
        Close();
    } catch (...) {
        // A handler run while closing may throw; a destructor has nowhere to send it.
    }
}

void TCustomComm::refuseWhileOpen() const
{
    if (IsOpen())
        RaiseCommError(kErrAlreadyOpen, -1, CommErrorKind::AlreadyOpen);
}

void TCustomComm::Open()
{
    // Opening from a handler that Close itself is running would leave Close to release
    // the new device.
    if (closing_)
        RaiseCommError(kErrAlreadyOpen, -1, CommErrorKind::AlreadyOpen);
    Close();
    OpenDevice();
    if (!IsOpen())
        return;

    output_.Clear();
    handOver_ = HandOver::Create(poster_);
    // On the GUI thread the loss closes the port; without a poster it arrives on the
    // event thread, which cannot wait for itself, so it is only reported.
    const bool closeOnLoss = static_cast<bool>(poster_);
    TCommEventThread::Reports reports;
    reports.deviceLost = [this, closeOnLoss] {
        if (closeOnLoss) {
            deviceLost();
        } else if (OnDeviceLost) {
            TNotifyEvent handler = OnDeviceLost;
            handler(this);
        }
    };
    reports.outputDropped = [this](std::size_t bytes) { noteOutputDropped(bytes); };
    try {
        eventThread_ = std::make_unique<TCommEventThread>(
            *device_, monitorEvents_, handOver_, output_,
            [this](TCommEventThread* sender, std::uint32_t mask) { HandleEvents(sender, mask); },
            std::move(reports));
    } catch (...) {
        handOver_.reset();
        CloseDevice();
        throw;
    }

    ApplyLineSettings();
    // Queue sizes have nothing to size here; the read time-out is stored only.
    SetCharsTimeOut(charsTimeOut_);
}

void TCustomComm::Close()
{
    if (!IsOpen() || closing_)
        return;
    closing_ = true;
    std::exception_ptr handlerError;
    if (eventThread_) {
        // A delivery the thread is blocked on completes here, before the thread ends
        // and drops the input; then the stop signal wakes the thread wherever it waits
        // (also when Close runs inside a handler, whose hand-over cannot complete yet).
        eventThread_->Terminate();
        try {
            handOver_->ServeWaitingCall();
        } catch (...) {
            handlerError = std::current_exception();
        }
        eventThread_->Stop();
        eventThread_->WaitFor();
        // Deliveries still in the GUI queue find nothing when their turn comes.
        handOver_->Cancel();
        eventThread_.reset();
        handOver_.reset();
    }
    {
        std::lock_guard lock(dropMutex_);
        unreportedDrops_ = 0; // its report was cancelled with the rest
    }
    output_.Clear();
    CloseDevice();
    closing_ = false;
    if (handlerError)
        std::rethrow_exception(handlerError);
}

void TCustomComm::deviceLost()
{
    Close();
    if (OnDeviceLost) {
        TNotifyEvent handler = OnDeviceLost;
        handler(this);
    }
}

void TCustomComm::noteOutputDropped(std::size_t bytes)
{
    bool post = false;
    {
        std::lock_guard lock(dropMutex_);
        post = unreportedDrops_ == 0;
        unreportedDrops_ += bytes;
    }
    if (post)
        handOver_->Post([this] { reportOutputDropped(); });
}

void TCustomComm::reportOutputDropped()
{
    std::size_t bytes = 0;
    {
        std::lock_guard lock(dropMutex_);
        std::swap(bytes, unreportedDrops_);
    }
    if (TCommOutputDroppedEvent handler = OnOutputDropped)
        handler(this, bytes > std::size_t(INT_MAX) ? INT_MAX : static_cast<int>(bytes));
}

void TCustomComm::OpenDevice()
{
    devicePath_ = resolver_ ? resolver_(deviceName_) : deviceName_;
    backend::SystemError error;
    device_ = backend::OpenDevice(devicePath_, error);
    if (device_)
        return;
    if (error.kind == CommErrorKind::NotAPort)
        RaiseCommError(kErrInvalidHandle, -1, error.kind);
    RaiseCommError(kErrAccessDevice, error.code, error.kind);
}

void TCustomComm::CloseDevice() { device_.reset(); }

std::intptr_t TCustomComm::DeviceHandle() const { return device_ ? device_->NativeHandle() : -1; }

int TCustomComm::Write(const void* buffer, int count)
{
    if (!IsOpen() || count < 0)
        return -1;
    const auto size = static_cast<std::size_t>(count);
    switch (output_.Write(*device_, buffer, size, OutputQueue::Clock::now())) {
    case OutputQueue::Sent::All:
        return count;
    case OutputQueue::Sent::Watched:
        if (eventThread_)
            eventThread_->OutputQueued();
        return count;
    case OutputQueue::Sent::Kept:
        if (eventThread_)
            eventThread_->OutputQueued();
        return -1;
    case OutputQueue::Sent::Dropped:
    case OutputQueue::Sent::Failed:
        // Posted like the thread's reports: the caller learns of it after Write, never
        // inside it. The transmit path does not look at the result, so a refusal told
        // only by -1 would lose the bytes without a word.
        noteOutputDropped(size);
        return -1;
    case OutputQueue::Sent::Gone:
        // The event thread sees the device go and reports it lost.
        return -1;
    }
    return -1;
}

int TCustomComm::Read(void* buffer, int count)
{
    if (!IsOpen() || count < 0)
        return -1;
    if (count == 0)
        return 0;
    backend::SystemError error;
    const std::ptrdiff_t n = device_->Read(buffer, static_cast<std::size_t>(count), error);
    return n < 0 ? -1 : static_cast<int>(n);
}

void TCustomComm::PurgeInput()
{
    if (IsOpen())
        device_->PurgeInput();
}

void TCustomComm::ApplyLineSettings()
{
    if (!IsOpen())
        return;
    backend::LineRequest request;
    request.baudRate = baudRate_;
    request.parity = parity_;
    request.stopbits = stopbits_;
    request.databits = databits_;
    request.flowControl = flowControl_;
    request.options = options_;
    request.xonChar = eventChars_->XonChar();
    request.xoffChar = eventChars_->XoffChar();
    const backend::SystemError error = device_->ApplySettings(request);
    if (!error)
        return;
    if (error.kind == CommErrorKind::Unsupported)
        RaiseCommError(std::string(kErrLineSettings) + ": " + error.text, error.code, error.kind);
    RaiseCommError(kErrLineSettings, error.code, error.kind);
}

void TCustomComm::HandleEvents(TCommEventThread* Sender, std::uint32_t EventMask)
{
    if (IsOpen()) {
        lineStatus_.InQueue = static_cast<std::uint32_t>(device_->InputQueued());
        lineStatus_.OutQueue = static_cast<std::uint32_t>(device_->OutputQueued() + output_.Pending());
        lastErrors_ = Sender ? Sender->LineErrors : 0;
    }
    for (TCommEventState state : kAllEventStates) {
        const std::uint32_t bit = EventBit(state);
        if (EventMask & bit)
            DispatchEvent(bit);
    }
}

void TCustomComm::DispatchEvent(std::uint32_t EventMask)
{
    // Copies: a handler may replace itself or close the port.
    auto notify = [this](const TNotifyEvent& handler) {
        if (TNotifyEvent h = handler)
            h(this);
    };
    switch (EventMask) {
    case EV_BREAK: notify(OnBreak); break;
    case EV_CTS: notify(OnCTS); break;
    case EV_DSR: notify(OnDSR); break;
    case EV_ERR:
        if (TCommErrorEvent h = OnError)
            h(this, static_cast<int>(lastErrors_));
        break;
    case EV_RING: notify(OnRing); break;
    case EV_RLSD: notify(OnRLSD); break;
    case EV_RXCHAR:
        if (TCommRxCharEvent h = OnRxChar)
            h(this, static_cast<int>(lineStatus_.InQueue));
        break;
    case EV_RXFLAG: notify(OnRxFlag); break;
    case EV_TXEMPTY: notify(OnTxEmpty); break;
    default: break;
    }
}

void TCustomComm::SetDeviceName(const std::string& value)
{
    refuseWhileOpen();
    deviceName_ = value;
}

void TCustomComm::SetMonitorEvents(TCommEventType value)
{
    refuseWhileOpen();
    monitorEvents_ = value;
}

void TCustomComm::SetReadBufSize(int value)
{
    refuseWhileOpen();
    readBufSize_ = value;
}

void TCustomComm::SetWriteBufSize(int value)
{
    refuseWhileOpen();
    writeBufSize_ = value;
}

void TCustomComm::SetCharsTimeOut(int value) { charsTimeOut_ = value; }

void TCustomComm::SetBaudRate(TBaudRate value) { setLineValue(baudRate_, value); }
void TCustomComm::SetParity(TParity value) { setLineValue(parity_, value); }
void TCustomComm::SetStopbits(TStopbits value) { setLineValue(stopbits_, value); }
void TCustomComm::SetDatabits(TDatabits value) { setLineValue(databits_, value); }
void TCustomComm::SetOptions(TCommOptions value) { setLineValue(options_, value); }
void TCustomComm::SetFlowControl(TFlowControl value) { setLineValue(flowControl_, value); }

void TCustomComm::SetDevicePathResolver(std::function<std::string(const std::string&)> resolver)
{
    resolver_ = std::move(resolver);
}

void TCustomComm::SetMainThreadPoster(MainThreadPoster poster) { poster_ = std::move(poster); }

} // namespace commport
