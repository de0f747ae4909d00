#include "replywindowtimer.h"

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

#else

ReplyWindowTimer::ReplyWindowTimer(QObject* parent)
    : QObject(parent)
    , timer_(new QTimer(this))
{
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, [this] {
        active_ = false;
        emit timeout();
    });
}

ReplyWindowTimer::~ReplyWindowTimer() = default;

void ReplyWindowTimer::arm()
{
    timer_->start(intervalMs_);
}

void ReplyWindowTimer::stop()
{
    active_ = false;
    timer_->stop();
}

void ReplyWindowTimer::expired() {}

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
