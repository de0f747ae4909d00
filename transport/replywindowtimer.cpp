#include "replywindowtimer.h"

#include <QTimer>

#include <algorithm>

#if defined(__linux__)
#include <QSocketNotifier>
#include <cerrno>
#include <ctime>
#include <stdexcept>
#include <sys/timerfd.h>
#include <unistd.h>
#endif
#if defined(_WIN32)
#include <QWinEventNotifier>
#include <windows.h>

// Windows 10 1803 and later; older headers lack the name.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
#endif

namespace transport {

namespace {

#if defined(_WIN32)
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

// Due in `ticks` performance counter ticks from now (at least 100 ns).
void setDue(HANDLE timer, long long ticks)
{
    static const long long perSecond = ticksPerSecond();
    LARGE_INTEGER due{};
    // Negative: relative to now, in 100 ns units.
    due.QuadPart = -std::max<long long>(1, ticks * 10'000'000LL / perSecond);
    ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
}
#endif

// Whole milliseconds until `deadline`, rounded up: a Qt timer armed for them does not
// end before it (unless it fires early, which the caller checks).
int millisecondsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return int(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

} // namespace

ReplyWindowTimer::ReplyWindowTimer(QObject* parent, Clock clock)
    : QObject(parent)
{
    if (clock == Clock::System) {
#if defined(__linux__)
        fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (fd_ < 0)
            throw std::runtime_error("timerfd_create failed");
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &ReplyWindowTimer::expired);
        return;
#elif defined(_WIN32)
        // A synchronization timer: the notifier's wait takes its signal, so each expiry
        // is told once.
        waitable_ =
            ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
        if (waitable_) {
            notifier_ = new QWinEventNotifier(static_cast<HANDLE>(waitable_), this);
            connect(notifier_, &QWinEventNotifier::activated, this, &ReplyWindowTimer::expired);
            return;
        }
#endif
    }
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &ReplyWindowTimer::qtTimerExpired);
}

ReplyWindowTimer::~ReplyWindowTimer()
{
#if defined(__linux__)
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
#elif defined(_WIN32)
    delete notifier_;
    if (waitable_) {
        ::CancelWaitableTimer(static_cast<HANDLE>(waitable_));
        ::CloseHandle(static_cast<HANDLE>(waitable_));
    }
#endif
}

void ReplyWindowTimer::arm()
{
    const int length = intervalMs_ > 0 ? intervalMs_ : 0;
    if (timer_) {
        deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(length);
        timer_->start(length);
        return;
    }
#if defined(__linux__)
    // An absolute deadline: the time taken between reading the clock and arming the
    // timer does not lengthen the window.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long deadlineNs = (static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec)
        + static_cast<long long>(length) * 1'000'000LL + (length > 0 ? 0 : 1);
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(deadlineNs / 1'000'000'000LL);
    spec.it_value.tv_nsec = static_cast<long>(deadlineNs % 1'000'000'000LL);
    ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr);
#elif defined(_WIN32)
    static const long long perSecond = ticksPerSecond();
    const long long ticks = static_cast<long long>(length) * perSecond / 1000;
    deadlineTicks_ = performanceTicks() + ticks;
    setDue(static_cast<HANDLE>(waitable_), ticks);
#endif
}

void ReplyWindowTimer::stop()
{
    active_ = false;
    if (timer_) {
        timer_->stop();
        return;
    }
#if defined(__linux__)
    const itimerspec disarmed{};
    ::timerfd_settime(fd_, 0, &disarmed, nullptr);
    // An expiry already counted must not end a later window.
    std::uint64_t expirations = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &expirations, sizeof expirations);
#elif defined(_WIN32)
    ::CancelWaitableTimer(static_cast<HANDLE>(waitable_));
#endif
}

void ReplyWindowTimer::expired()
{
#if defined(__linux__)
    std::uint64_t expirations = 0;
    if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations || !active_)
        return;
#elif defined(_WIN32)
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
#endif
    active_ = false;
    emit timeout();
}

void ReplyWindowTimer::qtTimerExpired()
{
    if (!active_)
        return;
    if (std::chrono::steady_clock::now() < deadline_) {
        timer_->start(millisecondsUntil(deadline_));
        return;
    }
    active_ = false;
    emit timeout();
}

QString ReplyWindowTimer::clockName() const
{
    if (timer_)
        return QStringLiteral("Qt precise timer");
#if defined(_WIN32)
    return QStringLiteral("high-resolution waitable timer");
#else
    return QStringLiteral("timerfd");
#endif
}

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
