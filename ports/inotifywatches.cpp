#include "inotifywatches.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <iterator>
#include <sys/inotify.h>
#include <unistd.h>

namespace ports {

InotifyWatches::InotifyWatches(QObject* parent)
    : QObject(parent)
    , fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (fd_ < 0)
        return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &InotifyWatches::read);
}

InotifyWatches::~InotifyWatches()
{
    if (fd_ < 0)
        return;
    delete notifier_;
    ::close(fd_);
}

bool InotifyWatches::watch(const QHash<QString, std::uint32_t>& wanted)
{
    if (fd_ < 0)
        return false;
    bool added = false;
    // New watches first, then the old ones let go: a node watched under a new mask keeps a
    // watch all along. IN_MASK_ADD keeps what another path to the same node asked for; a
    // shared watch may then report a little more than one of its paths wants, never less.
    QList<int> released;
    for (auto it = paths_.begin(); it != paths_.end();) {
        if (wanted.value(it.key()) != it->mask) {
            released << it->descriptor;
            it = paths_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        if (paths_.contains(it.key()))
            continue;
        const int descriptor = ::inotify_add_watch(fd_, QFile::encodeName(it.key()).constData(), it.value() | IN_MASK_ADD);
        if (descriptor < 0)
            continue;
        paths_.insert(it.key(), Watch{descriptor, it.value()});
        ++users_[descriptor];
        added = true;
    }
    for (const int descriptor : released)
        release(descriptor);
    return added;
}

void InotifyWatches::release(int descriptor)
{
    const auto users = users_.find(descriptor);
    if (users == users_.end())
        return;
    if (--users.value() > 0)
        return;
    users_.erase(users);
    ::inotify_rm_watch(fd_, descriptor);
}

void InotifyWatches::forget(int descriptor)
{
    if (!users_.remove(descriptor))
        return;
    // Gone already when the kernel ended it (IN_IGNORED); this is for a node moved away.
    ::inotify_rm_watch(fd_, descriptor);
    for (auto it = paths_.begin(); it != paths_.end();)
        it = it->descriptor == descriptor ? paths_.erase(it) : std::next(it);
}

void InotifyWatches::read()
{
    QList<int> descriptors;
    QList<int> ended;
    bool overflowed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(fd_, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                overflowed = true;
                continue;
            }
            if (!descriptors.contains(event->wd))
                descriptors << event->wd;
            if ((event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) && !ended.contains(event->wd))
                ended << event->wd;
        }
    }
    // The paths are named before any watch is forgotten: a node's removal is news for
    // the path it was watched under.
    QStringList paths;
    for (auto it = paths_.cbegin(); it != paths_.cend(); ++it)
        if (descriptors.contains(it->descriptor))
            paths << it.key();
    for (const int descriptor : ended)
        forget(descriptor);
    if (!paths.isEmpty() || overflowed)
        emit changed(paths, overflowed);
}

} // namespace ports
