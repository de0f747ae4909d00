#pragma once
// The clock of the reply window. Qt's timers count in whole milliseconds and wake up
// to a millisecond late; the window is the program's only interlock and every
// exchange of every family waits exactly one, so on Linux it runs on a timerfd armed
// for an absolute deadline on the monotonic clock, watched by the GUI thread's event
// loop. Elsewhere a precise QTimer stands in.

#include <QObject>
#include <chrono>

class QSocketNotifier;
class QTimer;

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
    QTimer* timer_ = nullptr;
#endif
};

} // namespace transport
