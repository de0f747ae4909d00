#pragma once
// Termination signals delivered through the event loop, so the simulator can
// remove its published port before it exits.

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>
#include <memory>

namespace devsim {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Blocks the signals for the calling thread and every thread started after it;
    // call first thing in main.
    static void blockSignals(std::initializer_list<int> signalNumbers);

    explicit SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void caught(int signalNumber);

private:
    void readSignal();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace devsim
