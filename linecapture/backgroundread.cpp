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
    // would cross threads inside Qt's own code, unseen by the thread sanitizer. What the
    // work made is taken after the join, which orders it.
    thread_ = std::thread([this, work = std::move(work)] {
        work(progress_);
        QMetaObject::invokeMethod(this, "ended", Qt::QueuedConnection);
    });
}

BackgroundRead::~BackgroundRead()
{
    progress_.requestStop();
    if (thread_.joinable())
        thread_.join();
}

void BackgroundRead::ended()
{
    if (!thread_.joinable())
        return;
    thread_.join();
    ticker_.stop();
    emit finished();
}

} // namespace linecapture
