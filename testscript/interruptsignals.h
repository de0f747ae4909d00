#pragma once
// SIGINT and SIGTERM (Ctrl+C, a test server's time-out) during a run without a window,
// delivered through the event loop: the run ends its step and writes what it has,
// instead of the process dying with its results. The previous handlers come back when
// the watch ends.

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace testscript {

class InterruptSignals : public QObject {
    Q_OBJECT
public:
    InterruptSignals();
    ~InterruptSignals() override;

    // The signal caught first; 0 while none came.
    int caught() const { return caught_; }

signals:
    void interrupted(int signalNumber);

private:
    void readPipe();

    int caught_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace testscript
