#include "backgroundread.h"

namespace linecapture {

int ReadProgress::percent() const
{
    const qint64 whole = total();
    return whole > 0 ? int(std::min<qint64>(done(), whole) * 100 / whole) : 0;
}

BackgroundRead::BackgroundRead(std::function<void(ReadProgress&)> work, QObject* parent)
    : QObject(parent)
{
    ticker_.setInterval(200);
    connect(&ticker_, &QTimer::timeout, this, [this] { emit progressed(progress_.percent()); });
    ticker_.start();
    // The thread posts only a wake-up by name, never a functor: what a functor carries
    // would cross threads inside Qt's own code, unseen by the thread sanitizer. Its last
    // step is said under a mutex of the standard library's, which the sanitizer sees
    // (Qt's own wait for a thread it does not): what the work made, and the post, come
    // before whatever follows join().
    thread_.reset(QThread::create([this, work = std::move(work)] {
        work(progress_);
        QMetaObject::invokeMethod(this, "ended", Qt::QueuedConnection);
        std::lock_guard lock(endMutex_);
        workEnded_ = true;
        endChanged_.notify_all();
    }));
    thread_->start();
}

BackgroundRead::~BackgroundRead()
{
    progress_.requestStop();
    join();
}

void BackgroundRead::join()
{
    if (!thread_)
        return;
    {
        std::unique_lock lock(endMutex_);
        endChanged_.wait(lock, [this] { return workEnded_; });
    }
    thread_->wait();
    thread_.reset();
}

void BackgroundRead::ended()
{
    if (!thread_)
        return;
    join();
    ticker_.stop();
    emit finished();
}

} // namespace linecapture
