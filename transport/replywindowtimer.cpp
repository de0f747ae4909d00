#include "replywindowtimer.h"

#include <algorithm>

#if defined(__linux__)
#include <QSocketNotifier>
#include <cerrno>
#include <ctime>
#include <stdexcept>
#include <sys/timerfd.h>
#include <unistd.h>
#else
#include <QTimer>
#endif
#if defined(_WIN32)
#include <QWinEventNotifier>
#include <windows.h>
#endif

namespace transport {

#if defined(__linux__)

ReplyWindowTimer::ReplyWindowTimer(QObject* parent)
    : QObject(parent)
    , fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (fd_ < 0)
        throw std::runtime_error("timerfd_create failed");
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ReplyWindowTimer::expired);
}

ReplyWindowTimer::~ReplyWindowTimer()
{
    delete notifier_;
    ::close(fd_);
}

void ReplyWindowTimer::arm()
{
    // An absolute deadline: the time taken between reading the clock and arming the
    // timer does not lengthen the window.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long deadlineNs = (static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec)
        + static_cast<long long>(intervalMs_ > 0 ? intervalMs_ : 0) * 1'000'000LL + (intervalMs_ > 0 ? 0 : 1);
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(deadlineNs / 1'000'000'000LL);
    spec.it_value.tv_nsec = static_cast<long>(deadlineNs % 1'000'000'000LL);
    ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void ReplyWindowTimer::stop()
{
    active_ = false;
    const itimerspec disarmed{};
    ::timerfd_settime(fd_, 0, &disarmed, nullptr);
    // An expiry already counted must not end a later window.
    std::uint64_t expirations = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &expirations, sizeof expirations);
}

void ReplyWindowTimer::expired()
{
    std::uint64_t expirations = 0;
    if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations || !active_)
        return;
    active_ = false;
    emit timeout();
}

QString ReplyWindowTimer::clockName() const
{
    return QStringLiteral("timerfd");
}

#else

#if defined(_WIN32)
// Windows 10 1803 and later; older headers lack the name.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

long long performanceTicks()
{
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

long long ticksPerSecond()
{
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

} // namespace
#endif

ReplyWindowTimer::ReplyWindowTimer(QObject* parent)
    : QObject(parent)
{
#if defined(_WIN32)
    // A synchronization timer: the notifier's wait takes its signal, so each expiry is
    // told once.
    waitable_ = ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (waitable_) {
        notifier_ = new QWinEventNotifier(static_cast<HANDLE>(waitable_), this);
        connect(notifier_, &QWinEventNotifier::activated, this, &ReplyWindowTimer::expired);
        return;
    }
#endif
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, [this] {
        active_ = false;
        emit timeout();
    });
}

ReplyWindowTimer::~ReplyWindowTimer()
{
#if defined(_WIN32)
    delete notifier_;
    if (waitable_) {
        ::CancelWaitableTimer(static_cast<HANDLE>(waitable_));
        ::CloseHandle(static_cast<HANDLE>(waitable_));
    }
#endif
}

#if defined(_WIN32)
namespace {

// Due in `ticks` performance counter ticks from now (at least 100 ns).
void setDue(HANDLE timer, long long ticks)
{
    static const long long perSecond = ticksPerSecond();
    LARGE_INTEGER due{};
    // Negative: relative to now, in 100 ns units.
    due.QuadPart = -std::max<long long>(1, ticks * 10'000'000LL / perSecond);
    ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
}

} // namespace
#endif

void ReplyWindowTimer::arm()
{
#if defined(_WIN32)
    if (waitable_) {
        static const long long perSecond = ticksPerSecond();
        const long long length = static_cast<long long>(intervalMs_ > 0 ? intervalMs_ : 0) * perSecond / 1000;
        deadlineTicks_ = performanceTicks() + length;
        setDue(static_cast<HANDLE>(waitable_), length);
        return;
    }
#endif
    timer_->start(intervalMs_);
}

void ReplyWindowTimer::stop()
{
    active_ = false;
#if defined(_WIN32)
    if (waitable_) {
        ::CancelWaitableTimer(static_cast<HANDLE>(waitable_));
        return;
    }
#endif
    timer_->stop();
}

void ReplyWindowTimer::expired()
{
#if defined(_WIN32)
    if (!active_)
        return;
    // An expiry told after the window was closed and opened again belongs to the old
    // window: the new one runs on, and its timer is armed again for what is left of it,
    // so that no expiry can be lost whatever the order of the two.
    const long long left = deadlineTicks_ - performanceTicks();
    if (left > 0) {
        setDue(static_cast<HANDLE>(waitable_), left);
        return;
    }
    active_ = false;
    emit timeout();
#endif
}

QString ReplyWindowTimer::clockName() const
{
#if defined(_WIN32)
    if (waitable_)
        return QStringLiteral("high-resolution waitable timer");
#endif
    return QStringLiteral("Qt precise timer");
}

#endif

// The same on every system: only arming the clock differs.
void ReplyWindowTimer::start()
{
    if (active_)
        return;
    active_ = true;
    arm();
}

void ReplyWindowTimer::setInterval(int ms)
{
    intervalMs_ = ms;
    if (active_)
        arm();
}

} // namespace transport
