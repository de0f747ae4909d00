#include "customcomm.h"

#include "backend.h"
#include "commeventthread.h"
#include "handover.h"
#include "net/netconnection.h"
#include "net/netdevice.h"
#include "outputqueue.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <mutex>
#include <utility>

namespace commport {

namespace {

void refuseWhileOpen(const TCustomComm& comm)
{
    if (comm.IsOpen())
        RaiseCommError(kErrAlreadyOpen, -1, CommErrorKind::AlreadyOpen);
}

// The record with one value changed, through the one way onto the line.
template <class T>
void setOneValue(TCustomComm& comm, T TLineSettings::*value, T to)
{
    TLineSettings settings = comm.LineSettings();
    settings.*value = to;
    comm.SetLineSettings(settings);
}

[[noreturn]] void raiseLineSettingsError(const backend::SystemError& error)
{
    if (error.kind == CommErrorKind::Unsupported)
        RaiseCommError(std::string(kErrLineSettings) + ": " + error.text, error.code, error.kind);
    RaiseCommError(kErrLineSettings, error.code, error.kind);
}

} // namespace

struct TCustomComm::Impl {
    explicit Impl(TCustomComm& owner) : owner(owner), eventChars(&owner) {}

    void succeeded() { lastError = {}; }
    void failed(const backend::SystemError& error) { lastError = {error.kind, error.code, error.text}; }
    // The component's own refusal of a call: -1, as the call returns.
    int refused(CommErrorKind kind, const char* text)
    {
        lastError = {kind, -1, text};
        return -1;
    }

    // Any thread: adds to the drop report on its way, or posts one.
    void noteOutputDropped(std::size_t bytes);
    void reportOutputDropped();
    void deviceLost();

    TCustomComm& owner;
    bool closing = false;
    std::string deviceName = "Com2";
    std::string devicePath;
    std::function<std::string(const std::string&)> resolver;
    MainThreadPoster poster;
    std::unique_ptr<net::Connection> prepared;
    TCommStatus lineStatus;
    std::uint32_t lastErrors = 0;
    TCommLastError lastError;
    TCommEventType monitorEvents = AllCommEvents();
    TLineSettings settings;
    // The open line carries `settings`: they were written since Open, and no refusal
    // since has left the line in a state of its own.
    bool lineCarriesSettings = false;
    TCommEventChars eventChars;
    int readBufSize = 4096;
    int writeBufSize = 2048;
    int charsTimeOut = 250;

    // Declared in the order they are taken down: the thread uses the rest.
    std::unique_ptr<backend::Device> device;
    OutputQueue output{kOutputQueueLimit, kWriteTimeout};
    std::shared_ptr<HandOver> handOver;
    std::unique_ptr<TCommEventThread> eventThread;
    std::mutex dropMutex;
    std::size_t unreportedDrops = 0; // a report is posted while this is not 0
    // What a vanished device had delivered and nobody had read yet (GUI thread only).
    std::string leftover;
};

namespace {

// The most a vanished device leaves to be read: a serial driver's buffer holds about
// 4 KiB, a network line's input as much.
constexpr std::size_t kLeftoverLimit = 64 * 1024;

} // namespace

TCustomComm::TCustomComm() : impl_(std::make_unique<Impl>(*this)) {}

TCustomComm::~TCustomComm()
{
    try {
        Close();
    } catch (...) {
        // A handler run while closing may throw; a destructor has nowhere to send it.
    }
}

bool TCustomComm::IsOpen() const { return impl_->device != nullptr; }

void TCustomComm::Open()
{
    Impl& d = *impl_;
    // Opening from a handler that Close itself is running would leave Close to release
    // the new device.
    if (d.closing)
        RaiseCommError(kErrAlreadyOpen, -1, CommErrorKind::AlreadyOpen);
    Close();
    d.lastError = {};
    d.lineCarriesSettings = false;
    d.leftover.clear();
    OpenDevice();
    if (!IsOpen())
        return;

    d.output.Clear();
    d.handOver = HandOver::Create(d.poster);
    // On the GUI thread the loss closes the port; without a poster it arrives on the
    // event thread, which cannot wait for itself, so it is only reported.
    const bool closeOnLoss = static_cast<bool>(d.poster);
    TCommEventThread::Reports reports;
    reports.deviceLost = [this, closeOnLoss] {
        if (closeOnLoss) {
            impl_->deviceLost();
        } else if (OnDeviceLost) {
            TNotifyEvent handler = OnDeviceLost;
            handler(this);
        }
    };
    reports.outputDropped = [this](std::size_t bytes) { impl_->noteOutputDropped(bytes); };
    try {
        d.eventThread = std::make_unique<TCommEventThread>(
            *d.device, d.monitorEvents, d.handOver, d.output,
            [this](TCommEventThread* sender, std::uint32_t mask) { HandleEvents(sender, mask); },
            std::move(reports));
    } catch (const ECommError& e) {
        d.lastError = {e.Kind, e.ErrorCode, e.what()};
        d.handOver.reset();
        CloseDevice();
        throw;
    } catch (...) {
        d.handOver.reset();
        CloseDevice();
        throw;
    }

    if (const backend::SystemError error = d.device->ApplySettings(d.settings)) {
        d.failed(error);
        raiseLineSettingsError(error);
    }
    d.lineCarriesSettings = true;
}

void TCustomComm::Close()
{
    Impl& d = *impl_;
    if (!IsOpen() || d.closing)
        return;
    d.closing = true;
    std::exception_ptr handlerError;
    if (d.eventThread) {
        // A delivery the thread is blocked on completes here, before the thread ends
        // and drops the input; then the stop signal wakes the thread wherever it waits
        // (also when Close runs inside a handler, whose hand-over cannot complete yet).
        d.eventThread->Terminate();
        try {
            d.handOver->ServeWaitingCall();
        } catch (...) {
            handlerError = std::current_exception();
        }
        d.eventThread->Stop();
        d.eventThread->WaitFor();
        // Deliveries still in the GUI queue find nothing when their turn comes.
        d.handOver->Cancel();
        d.eventThread.reset();
        d.handOver.reset();
    }
    {
        std::lock_guard lock(d.dropMutex);
        d.unreportedDrops = 0; // its report was cancelled with the rest
    }
    d.output.Clear();
    CloseDevice();
    d.lineCarriesSettings = false;
    d.closing = false;
    if (handlerError)
        std::rethrow_exception(handlerError);
}

void TCustomComm::Impl::deviceLost()
{
    // Why it went, and what it had delivered: the close drops the device's input, and
    // a reply cut short by the loss is still to be read where it was awaited.
    if (device) {
        if (const backend::SystemError why = device->LossReason())
            failed(why);
        char buffer[4096];
        while (leftover.size() < kLeftoverLimit) {
            backend::SystemError ignored;
            const std::ptrdiff_t n =
                device->Read(buffer, std::min(sizeof buffer, kLeftoverLimit - leftover.size()), ignored);
            if (n <= 0)
                break;
            leftover.append(buffer, static_cast<std::size_t>(n));
        }
    }
    owner.Close();
    if (owner.OnDeviceLost) {
        TNotifyEvent handler = owner.OnDeviceLost;
        handler(&owner);
    }
}

void TCustomComm::Impl::noteOutputDropped(std::size_t bytes)
{
    bool post = false;
    {
        std::lock_guard lock(dropMutex);
        post = unreportedDrops == 0;
        unreportedDrops += bytes;
    }
    if (post)
        handOver->Post([this] { reportOutputDropped(); });
}

void TCustomComm::Impl::reportOutputDropped()
{
    std::size_t bytes = 0;
    {
        std::lock_guard lock(dropMutex);
        std::swap(bytes, unreportedDrops);
    }
    if (TCommOutputDroppedEvent handler = owner.OnOutputDropped)
        handler(&owner, bytes > std::size_t(INT_MAX) ? INT_MAX : static_cast<int>(bytes));
}

void TCustomComm::OpenDevice()
{
    Impl& d = *impl_;
    d.devicePath = d.resolver ? d.resolver(d.deviceName) : d.deviceName;
    backend::SystemError error;
    std::unique_ptr<net::Connection> prepared = std::move(d.prepared);
    if (prepared && prepared->Name() == d.devicePath)
        d.device = net::OpenConnectedDevice(std::move(prepared), error);
    else
        d.device = backend::OpenDevice(d.devicePath, error);
    if (d.device)
        return;
    d.failed(error);
    if (error.kind == CommErrorKind::NotAPort)
        RaiseCommError(kErrInvalidHandle, -1, error.kind);
    RaiseCommError(kErrAccessDevice, error.code, error.kind);
}

void TCustomComm::CloseDevice() { impl_->device.reset(); }

std::intptr_t TCustomComm::DeviceHandle() const
{
    return impl_->device ? impl_->device->NativeHandle() : -1;
}

TCommEventThread* TCustomComm::EventThread() const { return impl_->eventThread.get(); }

int TCustomComm::Write(const void* buffer, int count)
{
    Impl& d = *impl_;
    if (!IsOpen())
        return d.refused(CommErrorKind::NotOpen, "the port is not open");
    if (count < 0)
        return d.refused(CommErrorKind::Other, "a negative byte count");
    const auto size = static_cast<std::size_t>(count);
    backend::SystemError error;
    switch (d.output.Write(*d.device, buffer, size, OutputQueue::Clock::now(), &error)) {
    case OutputQueue::Sent::All:
        d.succeeded();
        return count;
    case OutputQueue::Sent::Watched:
        d.succeeded();
        if (d.eventThread)
            d.eventThread->OutputQueued();
        return count;
    case OutputQueue::Sent::Kept:
        d.succeeded();
        if (d.eventThread)
            d.eventThread->OutputQueued();
        return -1;
    case OutputQueue::Sent::Dropped:
        d.refused(CommErrorKind::Other, "no room in the output queue");
        // Posted like the thread's reports: the caller learns of it after Write, never
        // inside it. The transmit path does not look at the result, so a refusal told
        // only by -1 would lose the bytes without a word.
        d.noteOutputDropped(size);
        return -1;
    case OutputQueue::Sent::Failed:
        d.failed(error);
        d.noteOutputDropped(size);
        return -1;
    case OutputQueue::Sent::Gone:
        d.failed(error);
        // The event thread sees the device go and reports it lost.
        return -1;
    }
    return -1;
}

int TCustomComm::Read(void* buffer, int count)
{
    Impl& d = *impl_;
    if (!IsOpen() && d.leftover.empty())
        return d.refused(CommErrorKind::NotOpen, "the port is not open");
    if (count < 0)
        return d.refused(CommErrorKind::Other, "a negative byte count");
    if (!IsOpen()) {
        const std::size_t n = std::min(d.leftover.size(), static_cast<std::size_t>(count));
        std::copy_n(d.leftover.data(), n, static_cast<char*>(buffer));
        d.leftover.erase(0, n);
        d.succeeded();
        return static_cast<int>(n);
    }
    if (count == 0) {
        d.succeeded();
        return 0;
    }
    backend::SystemError error;
    const std::ptrdiff_t n = d.device->Read(buffer, static_cast<std::size_t>(count), error);
    if (n < 0) {
        d.failed(error);
        return -1;
    }
    d.succeeded();
    return static_cast<int>(n);
}

void TCustomComm::PurgeInput()
{
    Impl& d = *impl_;
    d.leftover.clear();
    if (!IsOpen())
        return;
    if (const backend::SystemError error = d.device->PurgeInput())
        d.failed(error);
    else
        d.succeeded();
}

const TCommLastError& TCustomComm::LastError() const { return impl_->lastError; }

const TLineSettings& TCustomComm::LineSettings() const { return impl_->settings; }

void TCustomComm::SetLineSettings(const TLineSettings& settings)
{
    Impl& d = *impl_;
    if (!IsOpen()) {
        d.settings = settings;
        return;
    }
    if (settings == d.settings)
        return;
    const backend::SystemError error = d.device->ApplySettings(settings);
    if (!error) {
        d.settings = settings;
        d.lineCarriesSettings = true;
        d.succeeded();
        return;
    }
    d.failed(error);
    // A device may take part of a record before it refuses the rest (a driver that
    // drops a character format it cannot carry keeps the new speed): the line goes back
    // to the settings it carried, which LineSettings() goes on telling.
    if (d.lineCarriesSettings && d.device->ApplySettings(d.settings))
        d.lineCarriesSettings = false;
    raiseLineSettingsError(error);
}

void TCustomComm::SetBaudRate(TBaudRate value) { setOneValue(*this, &TLineSettings::BaudRate, value); }
void TCustomComm::SetParity(TParity value) { setOneValue(*this, &TLineSettings::Parity, value); }
void TCustomComm::SetStopbits(TStopbits value) { setOneValue(*this, &TLineSettings::Stopbits, value); }
void TCustomComm::SetDatabits(TDatabits value) { setOneValue(*this, &TLineSettings::Databits, value); }
void TCustomComm::SetOptions(TCommOptions value) { setOneValue(*this, &TLineSettings::Options, value); }
void TCustomComm::SetFlowControl(TFlowControl value) { setOneValue(*this, &TLineSettings::FlowControl, value); }

TCommEventChars& TCustomComm::EventChars() { return impl_->eventChars; }
const TCommEventChars& TCustomComm::EventChars() const { return impl_->eventChars; }

void TCustomComm::HandleEvents(TCommEventThread* Sender, std::uint32_t EventMask)
{
    Impl& d = *impl_;
    if (IsOpen()) {
        d.lineStatus.InQueue = static_cast<std::uint32_t>(d.device->InputQueued());
        d.lineStatus.OutQueue = static_cast<std::uint32_t>(d.device->OutputQueued() + d.output.Pending());
        d.lastErrors = Sender ? Sender->LineErrors : 0;
        // A delivery called by hand (tests) has no wake-up of its own: it happens now.
        d.lineStatus.EventTime = Sender ? Sender->WakeTime : std::chrono::steady_clock::now();
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
            h(this, static_cast<int>(impl_->lastErrors));
        break;
    case EV_RING: notify(OnRing); break;
    case EV_RLSD: notify(OnRLSD); break;
    case EV_RXCHAR:
        if (TCommRxCharEvent h = OnRxChar)
            h(this, static_cast<int>(impl_->lineStatus.InQueue));
        break;
    case EV_RXFLAG: notify(OnRxFlag); break;
    case EV_TXEMPTY: notify(OnTxEmpty); break;
    default: break;
    }
}

const std::string& TCustomComm::DeviceName() const { return impl_->deviceName; }

void TCustomComm::SetDeviceName(const std::string& value)
{
    refuseWhileOpen(*this);
    impl_->deviceName = value;
}

TCommEventType TCustomComm::MonitorEvents() const { return impl_->monitorEvents; }

void TCustomComm::SetMonitorEvents(TCommEventType value)
{
    refuseWhileOpen(*this);
    impl_->monitorEvents = value;
}

int TCustomComm::ReadBufSize() const { return impl_->readBufSize; }

void TCustomComm::SetReadBufSize(int value)
{
    refuseWhileOpen(*this);
    impl_->readBufSize = value;
}

int TCustomComm::WriteBufSize() const { return impl_->writeBufSize; }

void TCustomComm::SetWriteBufSize(int value)
{
    refuseWhileOpen(*this);
    impl_->writeBufSize = value;
}

int TCustomComm::CharsTimeOut() const { return impl_->charsTimeOut; }
void TCustomComm::SetCharsTimeOut(int value) { impl_->charsTimeOut = value; }

const std::string& TCustomComm::DevicePath() const { return impl_->devicePath; }

void TCustomComm::SetDevicePathResolver(std::function<std::string(const std::string&)> resolver)
{
    impl_->resolver = std::move(resolver);
}

void TCustomComm::SetMainThreadPoster(MainThreadPoster poster) { impl_->poster = std::move(poster); }

void TCustomComm::SetPreparedConnection(std::unique_ptr<net::Connection> connection)
{
    impl_->prepared = std::move(connection);
}

const TCommStatus& TCustomComm::LineStatus() const { return impl_->lineStatus; }
std::uint32_t TCustomComm::LastErrors() const { return impl_->lastErrors; }

} // namespace commport
