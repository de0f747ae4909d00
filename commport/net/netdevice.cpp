// The network line behind the backend seam: a connected non-blocking socket, the
// protocol spoken over it under one lock, and epoll with eventfds for the event thread
// (deviceepoll.h).
//
// Reading the socket is not the GUI thread's business in general: the event thread
// reads it whenever it wakes, decodes it and reports the data. Only while the GUI
// thread waits for the answers to line settings does it read the socket too (the event
// thread may be blocked in a hand-over to the GUI thread just then); each side tells
// the other through an eventfd what it found, so nothing waits for what the other has
// already taken.
//
// What waits unread is bounded as a serial port's kernel buffer bounds it
// (kInputLimit): the socket is left unread while the input is full, so TCP's flow
// control holds the server back, and a read that makes room wakes the event thread to
// go on. Only answers awaited behind the data are read past it (the data then dropped
// and counted as an overrun). A server that asks faster than it reads the answers
// (kOutgoingLimit) is dropped as misbehaving.

#include "netdevice.h"

#include "linux/deviceepoll.h"
#include "netconnection.h"
#include "socketerror.h"
#include "socketio.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace commport::net {

namespace {

using backend::DeviceEpoll;
using backend::EventWaiter;
using backend::SystemError;
using Clock = LineProtocol::Clock;

// How long data is taken for what came before a purge, while its confirmation is awaited.
constexpr auto kPurgeWait = std::chrono::seconds(2);
// The most one pump takes from the socket while answers are awaited past a full input:
// a flood cannot keep the lock, and the rest is taken at the next wake-up.
constexpr std::size_t kPumpBudget = 64 * 1024;
// The most a purge reads and drops of what the socket holds: a server that floods has
// more coming anyway.
constexpr std::size_t kPurgeDrainLimit = 1024 * 1024;

void closeIfOpen(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void notify(int fd)
{
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
}

void drain(int fd)
{
    std::uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(fd, &count, sizeof count);
}

class NetWaiter;

class NetDevice final : public backend::Device {
public:
    NetDevice(std::unique_ptr<Connection> connection, SystemError& error)
        : fd_(connection->ReleaseSocket()), protocol_(connection->ReleaseProtocol()),
          answered_(connection->Settings())
    {
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        answerFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd_ < 0 || answerFd_ < 0)
            error = SocketError(errno);
        // What came with the negotiation is reported with the first wake-up.
        unreported_ = !protocol_->Input().empty();
    }

    ~NetDevice() override
    {
        closeIfOpen(fd_);
        closeIfOpen(wakeFd_);
        closeIfOpen(answerFd_);
    }

    SystemError ApplySettings(const backend::LineRequest& request) override;
    std::ptrdiff_t Read(void* buffer, std::size_t count, SystemError& error) override;
    std::ptrdiff_t Write(const void* buffer, std::size_t count, SystemError& error) override;

    std::size_t InputQueued() override
    {
        std::lock_guard lock(mutex_);
        return protocol_->Input().size();
    }
    // The socket's buffers cannot be emptied again, so they are trusted with what they
    // take (see outputqueue.h); the buffer is kept small for it (netconnection.cpp).
    std::size_t OutputQueued() override { return 0; }
    SystemError PurgeInput() override
    {
        std::lock_guard lock(mutex_);
        drainLocked();
        protocol_->PurgeInput(Clock::now(), kPurgeWait);
        unreported_ = false;
        flushLocked();
        resumeIfRoomLocked();
        return {};
    }
    void PurgeOutput() override {}

    LineErrorCounts ErrorCounts() override
    {
        std::lock_guard lock(mutex_);
        return protocol_->ErrorCounts();
    }

    std::unique_ptr<EventWaiter> MakeWaiter(SystemError& error) override;
    std::intptr_t NativeHandle() const override { return fd_; }

    SystemError LossReason() override
    {
        std::lock_guard lock(mutex_);
        return goneLocked() ? goneErrorLocked() : SystemError{};
    }

private:
    friend class NetWaiter;

    // Takes what the socket holds into the protocol, as far as the input has room (past
    // it while answers are awaited), and sends what the protocol has to say.
    // `eventThread`: who is asking, so the other side is told.
    void pumpLocked(bool eventThread);
    // Takes what the socket holds and drops its data, for a purge.
    void drainLocked();
    // The input was full and has room again: the event thread is to read on.
    void resumeIfRoomLocked();
    // One receive of at most `most` bytes into the protocol, then what it has to say
    // sent: the bytes taken from the socket (0: nothing came, or the line is gone).
    std::size_t receiveLocked(std::size_t most);
    void flushLocked();
    bool goneLocked() const { return lost_ || closed_; }
    SystemError goneErrorLocked() const { return lost_ ? lost_ : ClosedByPeer(protocol_->Input()); }

    int fd_;
    int wakeFd_ = -1;   // the GUI thread decoded data: the event thread is to report it
    int answerFd_ = -1; // the event thread took answers the GUI thread waits for
    std::mutex mutex_;
    std::unique_ptr<LineProtocol> protocol_;
    std::string wire_;             // scratch for the wire form of one write
    // The settings put on the line while connecting, until the component's Open asks.
    std::optional<AnsweredSettings> answered_;
    bool unreported_ = false;      // data came that no wake-up has reported yet
    bool awaitingAnswers_ = false; // the GUI thread waits in ApplySettings
    bool inputFull_ = false;       // the socket is left unread until a read makes room
    bool closed_ = false;          // the server closed the connection
    SystemError lost_;             // the connection failed
};

void NetDevice::flushLocked()
{
    std::string& out = protocol_->Outgoing();
    while (!out.empty() && !lost_) {
        const SocketTransfer sent = SendSome(fd_, out.data(), out.size());
        if (sent.wouldBlock)
            break;
        if (sent.failed()) {
            lost_ = SocketError(sent.error);
            out.clear();
            break;
        }
        out.erase(0, sent.bytes);
    }
    if (!lost_ && protocol_->OutgoingOverflowed()) {
        lost_ = AnswersNotRead();
        out.clear();
    }
}

std::size_t NetDevice::receiveLocked(std::size_t most)
{
    std::uint8_t buffer[4096];
    const SocketTransfer got = ReceiveSome(fd_, buffer, std::min(most, sizeof buffer));
    if (got.closed)
        closed_ = true;
    else if (got.failed())
        lost_ = SocketError(got.error);
    if (got.bytes == 0)
        return 0;
    protocol_->Receive(buffer, got.bytes, Clock::now());
    flushLocked();
    return got.bytes;
}

void NetDevice::pumpLocked(bool eventThread)
{
    const std::size_t before = protocol_->Input().size();
    const bool goneBefore = goneLocked();
    bool received = false;
    std::size_t budget = kPumpBudget;
    while (!goneLocked()) {
        std::size_t most = budget;
        if (!protocol_->AwaitsAnswers()) {
            most = std::min(most, protocol_->InputRoom());
            inputFull_ = most == 0;
        }
        if (most == 0)
            break;
        const std::size_t taken = receiveLocked(most);
        if (taken == 0)
            break;
        received = true;
        budget -= std::min(budget, taken);
    }
    flushLocked();
    received = received || goneLocked() != goneBefore;
    if (protocol_->Input().size() > before) {
        unreported_ = true;
        if (!eventThread)
            notify(wakeFd_);
    }
    // Answers read past a full input: the rest is taken at the next wake-up.
    if (budget == 0 && !goneLocked())
        notify(wakeFd_);
    if (eventThread && received && awaitingAnswers_)
        notify(answerFd_);
}

void NetDevice::drainLocked()
{
    std::size_t drained = 0;
    while (!goneLocked() && drained < kPurgeDrainLimit) {
        const std::size_t taken = receiveLocked(kInputLimit);
        protocol_->Input().clear();
        if (taken == 0)
            break;
        drained += taken;
    }
}

void NetDevice::resumeIfRoomLocked()
{
    if (inputFull_ && protocol_->InputRoom() > 0) {
        inputFull_ = false;
        notify(wakeFd_);
    }
}

SystemError NetDevice::ApplySettings(const backend::LineRequest& request)
{
    std::unique_lock lock(mutex_);
    // Put on the line while connecting: the verdict is known, nothing is awaited here.
    if (std::optional<AnsweredSettings> answered = std::exchange(answered_, std::nullopt);
        answered && answered->settings == request)
        return answered->outcome;
    if (goneLocked())
        return goneErrorLocked();
    if (SystemError refused = protocol_->RequestSettings(request))
        return refused;
    flushLocked();
    const Clock::time_point deadline = Clock::now() + kAnswerWait;
    awaitingAnswers_ = true;
    while (protocol_->SettingsPending()) {
        if (goneLocked()) {
            protocol_->AbandonSettings();
            awaitingAnswers_ = false;
            return goneErrorLocked();
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd fds[2] = {{fd_, static_cast<short>(POLLIN | (protocol_->Outgoing().empty() ? 0 : POLLOUT)), 0},
                         {answerFd_, POLLIN, 0}};
        lock.unlock();
        ::poll(fds, 2, static_cast<int>(left));
        lock.lock();
        if (fds[1].revents)
            drain(answerFd_);
        pumpLocked(false);
    }
    awaitingAnswers_ = false;
    if (protocol_->SettingsPending())
        return protocol_->AbandonSettings();
    return protocol_->SettingsResult();
}

std::ptrdiff_t NetDevice::Read(void* buffer, std::size_t count, SystemError&)
{
    std::lock_guard lock(mutex_);
    std::string& input = protocol_->Input();
    const std::size_t n = std::min(count, input.size());
    std::copy_n(input.data(), n, static_cast<char*>(buffer));
    input.erase(0, n);
    resumeIfRoomLocked();
    return static_cast<std::ptrdiff_t>(n);
}

std::ptrdiff_t NetDevice::Write(const void* buffer, std::size_t count, SystemError& error)
{
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::lock_guard lock(mutex_);
    const auto gone = [&] {
        error = goneErrorLocked();
        error.kind = CommErrorKind::Gone;
        return -1;
    };
    if (goneLocked())
        return gone();
    // Negotiation and requests go first; data waits behind them.
    flushLocked();
    if (goneLocked())
        return gone();
    if (!protocol_->Outgoing().empty())
        return 0;
    wire_.clear();
    protocol_->EncodeData(bytes, count, wire_);
    const SocketTransfer sent = SendSome(fd_, wire_.data(), wire_.size());
    if (sent.wouldBlock)
        return 0;
    if (sent.failed()) {
        lost_ = SocketError(sent.error);
        return gone();
    }
    const std::size_t taken = sent.bytes;
    if (taken == wire_.size())
        return static_cast<std::ptrdiff_t>(count);
    // The data bytes whose wire form went out whole; a doubled byte cut in two counts
    // as taken, and its second half goes first next time.
    std::size_t wire = 0;
    std::size_t data = 0;
    while (data < count) {
        const std::size_t size = protocol_->WireSize(bytes[data]);
        if (wire + size > taken) {
            if (wire < taken) {
                protocol_->Outgoing().append(wire_, taken, wire + size - taken);
                ++data;
            }
            break;
        }
        wire += size;
        ++data;
    }
    return static_cast<std::ptrdiff_t>(data);
}

class NetWaiter final : public EventWaiter {
public:
    // The device's own eventfd: the other thread read the socket, or there is more to do.
    static constexpr std::uint32_t kWake = DeviceEpoll::kFirstOwn;

    NetWaiter(NetDevice& device, SystemError& error)
        : device_(device), epoll_(device.fd_, EPOLLRDHUP)
    {
        epoll_.add(device.wakeFd_, EPOLLIN, kWake);
        if (epoll_.error())
            error = SocketError(epoll_.error());
        // Data that came with the negotiation, or requests still to send.
        notify(device.wakeFd_);
    }

    Wakeup Wait(std::optional<std::chrono::nanoseconds> timeout) override
    {
        Wakeup w;
        if (hangUpHeld_) {
            // The connection ended with data: the data was reported, now the end.
            w.hangUp = true;
            return w;
        }
        epoll_event events[4];
        const int n = epoll_.wait(events, timeout);
        if (n < 0) {
            w.failed = errno != EINTR;
            return w;
        }
        bool pump = false;
        bool roomCame = false;
        for (int i = 0; i < n; ++i) {
            switch (events[i].data.u32) {
            case DeviceEpoll::kSignal:
                epoll_.takeSignal();
                w.signalled = true;
                break;
            case kWake:
                drain(device_.wakeFd_);
                pump = true;
                break;
            case DeviceEpoll::kInput:
                pump = true;
                break;
            case DeviceEpoll::kRoom:
                roomCame = (events[i].events & EPOLLOUT) != 0;
                pump = pump || (events[i].events & (EPOLLHUP | EPOLLERR));
                break;
            }
        }
        bool gone = false;
        bool needRoom = false;
        {
            std::lock_guard lock(device_.mutex_);
            if (pump || roomCame)
                device_.pumpLocked(true);
            w.input = std::exchange(device_.unreported_, false);
            gone = device_.goneLocked();
            needRoom = !device_.protocol_->Outgoing().empty();
        }
        w.room = roomCame && watchingRoom_;
        epoll_.watchRoom(watchingRoom_ || needRoom);
        if (gone) {
            if (w.input)
                hangUpHeld_ = true;
            else
                w.hangUp = true;
        }
        return w;
    }

    void WatchRoom(bool watch) override
    {
        watchingRoom_ = watch;
        bool needRoom;
        {
            std::lock_guard lock(device_.mutex_);
            needRoom = !device_.protocol_->Outgoing().empty();
        }
        epoll_.watchRoom(watch || needRoom);
    }

    void Signal() override { epoll_.signal(); }

private:
    NetDevice& device_;
    DeviceEpoll epoll_;
    bool watchingRoom_ = false; // the output queue asked
    bool hangUpHeld_ = false;
};

std::unique_ptr<EventWaiter> NetDevice::MakeWaiter(SystemError& error)
{
    auto waiter = std::make_unique<NetWaiter>(*this, error);
    return error ? nullptr : std::move(waiter);
}

} // namespace

std::unique_ptr<backend::Device> OpenConnectedDevice(std::unique_ptr<Connection> connection, SystemError& error)
{
    auto device = std::make_unique<NetDevice>(std::move(connection), error);
    return error ? nullptr : std::move(device);
}

std::unique_ptr<backend::Device> OpenNetworkDevice(const std::string& name, SystemError& error)
{
    std::unique_ptr<Connection> connection = Connect(name, kConnectTimeout, -1, error);
    if (!connection)
        return nullptr;
    return OpenConnectedDevice(std::move(connection), error);
}

} // namespace commport::net
