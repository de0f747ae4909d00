#pragma once
// A long read of a file beside the window. A capture of tens of megabytes, read for the
// monitor's pane or replayed as a test script, takes seconds: on the window's thread that
// would be seconds in which nothing answers. The work runs on a thread of its own and says
// how far it has come; the window shows that, may ask it to stop, and is told on its own
// thread once the work has ended.

#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace linecapture {

// What the work and the window share while it runs.
class ReadProgress {
public:
    // The work's side: how far it is (bytes read of a file's size); false once it is to
    // stop, after which it returns as soon as it can with nothing half-made.
    bool report(qint64 done, qint64 total)
    {
        done_.store(done, std::memory_order_relaxed);
        total_.store(total, std::memory_order_relaxed);
        return !stopRequested();
    }
    bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }

    // The window's side.
    void requestStop() { stop_.store(true, std::memory_order_relaxed); }
    qint64 done() const { return done_.load(std::memory_order_relaxed); }
    qint64 total() const { return total_.load(std::memory_order_relaxed); }
    // From 0 to 100; 0 while nothing is known.
    int percent() const;

private:
    std::atomic<qint64> done_{0};
    std::atomic<qint64> total_{0};
    std::atomic<bool> stop_{false};
};

class BackgroundRead : public QObject {
    Q_OBJECT
public:
    // Starts `work` on a thread of its own at once. What it makes it leaves where its
    // caller can take it once finished() came; the thread has ended by then.
    explicit BackgroundRead(std::function<void(ReadProgress&)> work, QObject* parent = nullptr);
    // Asks the work to stop and waits for it.
    ~BackgroundRead() override;

    ReadProgress& progress() { return progress_; }
    bool running() const { return thread_ != nullptr; }

signals:
    // A few times a second while the work goes on.
    void progressed(int percent);
    void finished();

private:
    Q_INVOKABLE void ended();
    // Waits until the work and its thread have ended.
    void join();

    ReadProgress progress_;
    // Qt's thread rather than a plain one: the work runs Qt code (regular expressions
    // among it), whose per-thread data a Qt thread sets up and tears down itself. On
    // Windows a plain thread's is left to a watcher thread of Qt's once the thread has
    // ended, and the regular expressions' JIT stack freed there crashed about one run in
    // thirty of a loaded machine.
    std::unique_ptr<QThread> thread_;
    std::mutex endMutex_;
    std::condition_variable endChanged_;
    bool workEnded_ = false;
    QTimer ticker_;
};

} // namespace linecapture
