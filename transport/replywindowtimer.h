#pragma once
// The clock of the reply window. Qt's timers count in whole milliseconds and wake up
// to a millisecond late; the window is the program's only interlock and every
// exchange of every family waits exactly one, so on Linux it runs on a timerfd armed
// for an absolute deadline on the monotonic clock, watched by the GUI thread's event
// loop. On Windows a high-resolution waitable timer does the same where the system has
// one (Windows 10 1803 and later; Wine 8 gives one too); where it refuses one (older
// Windows) a precise QTimer stands in.

#include <QObject>
#include <QString>
#include <chrono>

class QSocketNotifier;
class QTimer;
class QWinEventNotifier;

namespace transport {

class ReplyWindowTimer : public QObject {
    Q_OBJECT
public:
    // What ends the windows: the system's own clock described above, or the precise Qt
    // timer that stands in where the system refuses one (and that a test may ask for).
    enum class Clock { System, QtTimer };

    explicit ReplyWindowTimer(QObject* parent = nullptr, Clock clock = Clock::System);
    ~ReplyWindowTimer() override;

    // Opens the window: it ends `interval()` from now. Does nothing while open, so
    // the window runs from the first start.
    void start();
    void stop();
    bool isActive() const { return active_; }
    // A window open now runs again from now with the new length, as a running
    // timer does when its interval changes.
    void setInterval(int ms);
    int interval() const { return intervalMs_; }

    // Which clock ends the windows: "timerfd", "high-resolution waitable timer" or
    // "Qt precise timer"; for the benchmark and the tests' notes.
    QString clockName() const;

signals:
    // The window ended; it is closed when this is emitted.
    void timeout();

private:
    void arm();
    void expired();
    void qtTimerExpired();

    int intervalMs_ = 0;
    bool active_ = false;
    // The stand-in, when it is the clock. Qt's timers count whole milliseconds and may
    // fire a little early (under Wine by up to a few): the deadline is kept beside it
    // and an early expiry waits on for the rest.
    QTimer* timer_ = nullptr;
    std::chrono::steady_clock::time_point deadline_;
#if defined(__linux__)
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
#elif defined(_WIN32)
    void* waitable_ = nullptr; // HANDLE of the high-resolution timer, when the system gave one
    QWinEventNotifier* notifier_ = nullptr;
    long long deadlineTicks_ = 0; // performance counter ticks when the armed window ends
#endif
};

} // namespace transport
