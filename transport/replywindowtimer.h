#pragma once
// The clock of the reply window. Qt's timers count in whole milliseconds and wake up
// to a millisecond late; the window is the program's only interlock and every
// exchange of every family waits exactly one, so on Linux it runs on a timerfd armed
// for an absolute deadline on the monotonic clock, watched by the GUI thread's event
// loop. On Windows a high-resolution waitable timer does the same where the system has
// one (Windows 10 1803 and later); where it refuses one (older Windows, Wine) a precise
// QTimer stands in.

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
    explicit ReplyWindowTimer(QObject* parent = nullptr);
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

    int intervalMs_ = 0;
    bool active_ = false;
#if defined(__linux__)
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
#else
#if defined(_WIN32)
    void* waitable_ = nullptr; // HANDLE of the high-resolution timer, when the system gave one
    QWinEventNotifier* notifier_ = nullptr;
    long long deadlineTicks_ = 0; // performance counter ticks when the armed window ends
#endif
    QTimer* timer_ = nullptr;
#endif
};

} // namespace transport
