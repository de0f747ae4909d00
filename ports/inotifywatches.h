#pragma once
// Paths watched through one inotify descriptor, each for only the kinds of change asked
// for. QFileSystemWatcher asks for modifications of a watched file too, so a watch on a
// terminal's node would wake on every byte written to it; here a node can be watched for
// its removal alone, and the kernel drops everything else before anyone is woken.

#include <QHash>
#include <QObject>
#include <QStringList>

#include <cstdint>

class QSocketNotifier;

namespace ports {

class InotifyWatches : public QObject {
    Q_OBJECT
public:
    explicit InotifyWatches(QObject* parent = nullptr);
    ~InotifyWatches() override;
    InotifyWatches(const InotifyWatches&) = delete;
    InotifyWatches& operator=(const InotifyWatches&) = delete;

    // False when the kernel gave no descriptor (too many instances): nothing is watched.
    bool isValid() const { return fd_ >= 0; }

    // Watches exactly `wanted` (path → inotify event mask) from now on. A path already
    // watched for the same events keeps its watch, so nothing that happens meanwhile is
    // missed. A path that cannot be watched (gone by now, no permission, not a directory
    // where IN_ONLYDIR asks for one) is left out. True when a watch was newly set: what
    // happened there before it was is for the caller to look at.
    bool watch(const QHash<QString, std::uint32_t>& wanted);
    QStringList watchedPaths() const { return paths_.keys(); }

signals:
    // One read of the kernel's notices: the watched paths they concern. `overflowed` when
    // the kernel's queue ran over and notices were lost: then anything may have changed.
    // A path whose watch ended (removed, moved away) is no longer watched; the next
    // watch() takes it up again if it is still wanted.
    void changed(const QStringList& paths, bool overflowed);

private:
    struct Watch {
        int descriptor = -1;
        std::uint32_t mask = 0;
    };
    void read();
    void release(int descriptor);
    // The kernel ended the watch, or it now follows a node that left its path.
    void forget(int descriptor);

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QHash<QString, Watch> paths_;
    // Two paths may lead to one node (two links to one terminal): the kernel gives them one
    // watch, which is removed when neither wants it any more.
    QHash<int, int> users_;
};

} // namespace ports
