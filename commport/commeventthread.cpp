#include "commeventthread.h"

#include "commerror.h"
#include "lineerrors.h"
#include "outputqueue.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace commport {

namespace {

enum Source : std::uint32_t { kWake = 1, kRx = 2, kTx = 3 };

void closeIfOpen(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

TCommEventThread::TCommEventThread(int handle, TCommEventType events,
                                   std::shared_ptr<HandOver> handOver, OutputQueue& output,
                                   TSignalEvent onSignal, std::function<void()> onDeviceLost)
    : OnSignal(std::move(onSignal)), handle_(handle), monitored_(EventMaskOf(events)),
      handOver_(std::move(handOver)), output_(output), onDeviceLost_(std::move(onDeviceLost))
{
    // The device is registered twice, through two descriptors of the same open file:
    // epoll tells the two registrations apart by the kind of wake-up, so room to write
    // never passes for arriving bytes.
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    rxFd_ = ::fcntl(handle, F_DUPFD_CLOEXEC, 0);
    txFd_ = ::fcntl(handle, F_DUPFD_CLOEXEC, 0);
    bool ok = wakeFd_ >= 0 && epollFd_ >= 0 && rxFd_ >= 0 && txFd_ >= 0;
    auto add = [&](int fd, std::uint32_t events, Source source) {
        epoll_event ev{};
        ev.events = events;
        ev.data.u32 = source;
        ok = ok && ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) == 0;
    };
    add(wakeFd_, EPOLLIN, kWake);
    add(rxFd_, EPOLLIN | EPOLLET, kRx);
    add(txFd_, EPOLLET, kTx);
    if (!ok) {
        const int err = errno;
        closeIfOpen(wakeFd_);
        closeIfOpen(epollFd_);
        closeIfOpen(rxFd_);
        closeIfOpen(txFd_);
        RaiseCommError(kErrAccessDevice, err);
    }
    thread_ = std::thread([this] { execute(); });
    native_ = thread_.native_handle();
}

TCommEventThread::~TCommEventThread()
{
    Stop();
    WaitFor();
    closeIfOpen(rxFd_);
    closeIfOpen(txFd_);
    closeIfOpen(epollFd_);
    closeIfOpen(wakeFd_);
}

void TCommEventThread::wake()
{
    const std::uint64_t one = 1;
    // The counter cannot overflow in practice; a full counter still wakes the thread.
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void TCommEventThread::Terminate() { terminated_.store(true); }

void TCommEventThread::Stop()
{
    terminated_.store(true);
    wake();
    handOver_->Stop();
}

void TCommEventThread::WaitFor()
{
    if (thread_.joinable())
        thread_.join();
}

void TCommEventThread::OutputQueued() { wake(); }

void TCommEventThread::DeliverEvent()
{
    // A copy: the handler may close the port, which destroys this object.
    TSignalEvent signal = OnSignal;
    if (signal)
        signal(this, EventMask);
}

std::chrono::nanoseconds TCommEventThread::CpuTime() const
{
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(native_, &clock) != 0 ||
        clock_gettime(clock, &ts) != 0)
        return {};
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

void TCommEventThread::execute()
{
    posix::LineErrorCounts counts = posix::ReadLineErrorCounts(handle_);
    bool lost = false;
    bool txArmed = false;

    while (!terminated_.load()) {
        epoll_event events[3];
        const int n = ::epoll_wait(epollFd_, events, 3, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break; // a failed wait ends the thread, it is not retried
        }
        bool rx = false, tryWrite = false, hangUp = false;
        for (int i = 0; i < n; ++i) {
            const std::uint32_t ev = events[i].events;
            switch (events[i].data.u32) {
            case kWake: {
                std::uint64_t count;
                [[maybe_unused]] ssize_t r = ::read(wakeFd_, &count, sizeof count);
                tryWrite = true;
                break;
            }
            case kRx:
                rx = rx || (ev & EPOLLIN);
                hangUp = hangUp || (ev & (EPOLLHUP | EPOLLERR));
                break;
            case kTx:
                tryWrite = tryWrite || (ev & EPOLLOUT);
                hangUp = hangUp || (ev & (EPOLLHUP | EPOLLERR));
                break;
            }
        }
        if (terminated_.load())
            break;

        if (tryWrite && !hangUp) {
            const OutputQueue::Drained drained = output_.Drain(handle_);
            if (drained == OutputQueue::Drained::DeviceGone)
                hangUp = true;
            const bool wantRoom = drained == OutputQueue::Drained::Pending;
            if (wantRoom != txArmed) {
                epoll_event ev{};
                ev.events = wantRoom ? (EPOLLOUT | EPOLLET) : EPOLLET;
                ev.data.u32 = kTx;
                if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, txFd_, &ev) == 0)
                    txArmed = wantRoom;
            }
        }
        if (hangUp) {
            lost = true;
            break;
        }

        std::uint32_t mask = 0;
        if (rx) {
            mask |= EV_RXCHAR;
            const posix::LineErrorCounts now = posix::ReadLineErrorCounts(handle_);
            const std::uint32_t errors = posix::LineErrorFlags(counts, now);
            counts = now;
            if (errors & ~CE_BREAK)
                mask |= EV_ERR;
            if (errors & CE_BREAK)
                mask |= EV_BREAK;
        }
        mask &= monitored_;
        if (mask == 0)
            continue;
        if (!handOver_->RunAndWait([this, mask] {
                EventMask = mask;
                DeliverEvent();
            }))
            break;
    }

    if (lost) {
        if (onDeviceLost_)
            handOver_->Post(onDeviceLost_);
    } else {
        // Bytes that came after the last delivered event are not for anyone.
        ::tcflush(handle_, TCIFLUSH);
    }
}

} // namespace commport
