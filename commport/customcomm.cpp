#include "customcomm.h"

#include "linesettings.h"
#include "linespeed.h"

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace commport {

namespace {

// A driver may round a speed it cannot make; more than this is a refusal.
constexpr unsigned kSpeedTolerancePercent = 2;

ssize_t readSome(int fd, void* buffer, std::size_t count)
{
    for (;;) {
        ssize_t n = ::read(fd, buffer, count);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

} // namespace

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
        RaiseCommError(kErrAlreadyOpen, -1);
}

void TCustomComm::Open()
{
    // Opening from a handler that Close itself is running would leave Close to release
    // the new device.
    if (closing_)
        RaiseCommError(kErrAlreadyOpen, -1);
    Close();
    OpenDevice();
    if (!IsOpen())
        return;

    output_.Clear();
    errorCounts_ = posix::ReadLineErrorCounts(handle_);
    handOver_ = HandOver::Create(poster_);
    // On the GUI thread the loss closes the port; without a poster it arrives on the
    // event thread, which cannot wait for itself, so it is only reported.
    const bool closeOnLoss = static_cast<bool>(poster_);
    try {
        eventThread_ = std::make_unique<TCommEventThread>(
            handle_, monitorEvents_, handOver_, output_,
            [this](TCommEventThread* sender, std::uint32_t mask) { HandleEvents(sender, mask); },
            [this, closeOnLoss] {
                if (closeOnLoss) {
                    deviceLost();
                } else if (OnDeviceLost) {
                    TNotifyEvent handler = OnDeviceLost;
                    handler(this);
                }
            });
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

void TCustomComm::OpenDevice()
{
    devicePath_ = resolver_ ? resolver_(deviceName_) : deviceName_;
    const int fd = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        RaiseCommError(kErrAccessDevice, errno);
    handle_ = fd;

    // A character device that is no terminal (/dev/null, a sound card) is no port
    // either; refusing it here leaves nothing half-open behind.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !::isatty(fd)) {
        CloseDevice();
        RaiseCommError(kErrInvalidHandle, -1);
    }
    // Other terminal programs honour the lock; TIOCEXCL keeps out every other opener
    // that is not privileged.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        CloseDevice();
        RaiseCommError(kErrAccessDevice, err);
    }
    exclusive_ = ::ioctl(fd, TIOCEXCL) == 0;
}

void TCustomComm::CloseDevice()
{
    if (handle_ < 0)
        return;
    if (exclusive_)
        ::ioctl(handle_, TIOCNXCL);
    exclusive_ = false;
    ::flock(handle_, LOCK_UN);
    ::close(handle_);
    handle_ = -1;
}

int TCustomComm::Write(const void* buffer, int count)
{
    if (!IsOpen() || count < 0)
        return -1;
    switch (output_.Write(handle_, buffer, static_cast<std::size_t>(count))) {
    case OutputQueue::Sent::All:
        return count;
    case OutputQueue::Sent::Kept:
        if (eventThread_)
            eventThread_->OutputQueued();
        return -1;
    case OutputQueue::Sent::Failed:
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
    const ssize_t n = readSome(handle_, buffer, static_cast<std::size_t>(count));
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    return static_cast<int>(n);
}

void TCustomComm::PurgeInput()
{
    if (IsOpen())
        ::tcflush(handle_, TCIFLUSH);
}

void TCustomComm::ApplyLineSettings()
{
    if (!IsOpen())
        return;
    termios t{};
    if (::tcgetattr(handle_, &t) != 0)
        RaiseCommError(kErrLineSettings, errno);
    lineSettings_ = t;

    posix::LineRequest request;
    request.baudRate = baudRate_;
    request.parity = parity_;
    request.stopbits = stopbits_;
    request.databits = databits_;
    request.flowControl = flowControl_;
    request.options = options_;
    request.xonChar = eventChars_->XonChar();
    request.xoffChar = eventChars_->XoffChar();
    if (const int err = posix::CheckLineRequest(request))
        RaiseCommError(kErrLineSettings, err);
    posix::BuildTermios(t, request);

    const unsigned speed = BaudRateValue(baudRate_);
    const speed_t standard = posix::StandardSpeed(speed);
    if (standard != B0) {
        ::cfsetispeed(&t, standard);
        ::cfsetospeed(&t, standard);
    }
    if (::tcsetattr(handle_, TCSANOW, &t) != 0)
        RaiseCommError(kErrLineSettings, errno);
    if (standard == B0)
        if (const int err = posix::SetCustomLineSpeed(handle_, speed))
            RaiseCommError(kErrLineSettings, err);
    lineSettings_ = t;

    if (flowControl_ != TFlowControl::fcDefault) {
        // DTR on as the handshake reset asks. Pseudo-terminals and some adapters have
        // no modem lines; that is no reason to refuse the port. RTS is left to the
        // driver: there is no "raise RTS while sending" mode for a plain serial line.
        int dtr = TIOCM_DTR;
        ::ioctl(handle_, TIOCMBIS, &dtr);
    }

    // tcsetattr succeeds when any part of the change was taken. A driver that cannot
    // carry a character format quietly drops it (a pseudo-terminal always keeps 8 data
    // bits and no parity), and drivers round speeds they cannot make: read back.
    termios taken{};
    if (::tcgetattr(handle_, &taken) != 0)
        RaiseCommError(kErrLineSettings, errno);
    tcflag_t format = CSIZE | PARENB | CSTOPB;
    if (t.c_cflag & PARENB)
        format |= PARODD | CMSPAR;
    if ((taken.c_cflag & format) != (t.c_cflag & format))
        RaiseCommError(kErrLineSettings, EINVAL);
    unsigned actual = 0;
    if (posix::ReadLineSpeed(handle_, actual) == 0) {
        const unsigned diff = actual > speed ? actual - speed : speed - actual;
        if (diff * 100 > speed * kSpeedTolerancePercent)
            RaiseCommError(kErrLineSettings, EINVAL);
    }
}

void TCustomComm::HandleEvents(TCommEventThread* /*Sender*/, std::uint32_t EventMask)
{
    if (IsOpen()) {
        int waiting = 0;
        if (::ioctl(handle_, FIONREAD, &waiting) != 0 || waiting < 0)
            waiting = 0;
        int unsent = 0;
        if (::ioctl(handle_, TIOCOUTQ, &unsent) != 0 || unsent < 0)
            unsent = 0;
        lineStatus_.InQueue = static_cast<std::uint32_t>(waiting);
        lineStatus_.OutQueue = static_cast<std::uint32_t>(unsent) +
                               static_cast<std::uint32_t>(output_.Pending());
        const posix::LineErrorCounts now = posix::ReadLineErrorCounts(handle_);
        lastErrors_ = posix::LineErrorFlags(errorCounts_, now);
        errorCounts_ = now;
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
