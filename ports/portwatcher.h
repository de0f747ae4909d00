#pragma once
// Tells when ports may have come or gone, without looking in between: the kernel's change
// notices (inotify) on the device directory, its by-id links and the virtual ports
// directory, and on the device each virtual port leads to. Only what can become a port of
// the list is watched: a virtual port's device is watched as the one node it is, so the
// terminals other programs open and close beside it in /dev/pts wake no one. Its directory
// is watched only while the link dangles, to see the device come back there. A directory
// that does not exist yet (no USB adapter plugged since boot, no simulator run yet) is
// waited for by watching the nearest directory above it that does.
//
// On Windows it watches the registry key that lists the ports (RegNotifyChangeKeyValue),
// which the system changes when a port comes or goes; while the key does not exist (no
// serial port since boot) the nearest key above it is watched for the key to appear.

#if !defined(_WIN32)
#include "inotifywatches.h"
#endif
#include "portdirectory.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>

#if defined(_WIN32)
class QWinEventNotifier;
#endif

namespace ports {

class PortWatcher : public QObject {
    Q_OBJECT
public:
    explicit PortWatcher(PortRoots roots, QObject* parent = nullptr);
#if defined(_WIN32)
    ~PortWatcher() override;

    // How many times the system's notice woke the watcher.
    int wakeUps() const { return wakeUps_; }
    // The key watched now: the ports' own, or the nearest existing one above it; empty
    // when none could be watched (the watcher then looks now and then).
    QString watchedKey() const { return watchedKey_; }
#else
    // The directories whose changes mean something for the port list.
    QStringList wantedDirectories() const;
    // What is watched now: each wanted directory, or the nearest existing one above it.
    QStringList watchedDirectories() const;
    // How many times a notice from the kernel woke the watcher.
    int wakeUps() const { return wakeUps_; }
    // True where the kernel gave no inotify descriptor (too many instances, no descriptors
    // left): the watcher then looks now and then at what the notices would have told.
    bool polls() const { return !watches_.isValid(); }
#endif

signals:
    // Ports may have changed. Comes once after a burst of changes has settled: a USB
    // adapter brings its node, then its by-id link, then its group and mode, one after
    // the other within a few milliseconds.
    void portsChanged();

private:
#if defined(_WIN32)
    // Asks for the next notice; the system gives one per request.
    void rearm();
    void noticed();
    void poll();

    const PortRoots roots_;
    void* key_ = nullptr;   // HKEY
    void* event_ = nullptr; // HANDLE
    QWinEventNotifier* notifier_ = nullptr;
    QString watchedKey_;
    QTimer settle_;
    QTimer poll_;
    QStringList polled_;
    int wakeUps_ = 0;
#else
    // What to watch for the machine as it is now, and how its virtual links stand.
    struct Plan {
        QHash<QString, std::uint32_t> watches;
        QStringList directories; // the wanted ones, before a missing one is stood in for
        QStringList nodes;       // the devices the virtual links lead to
        QStringList linkStates;
        friend bool operator==(const Plan&, const Plan&) = default;
    };
    Plan plan() const;
    void changed(const QStringList& paths, bool overflowed);
    // Watches what is wanted now; true when that changed.
    bool rearm();
    void noticed();
    // Without inotify: a look at the wanted directories' entries and at the links.
    void poll();

    const QString virtualDirectory_;
    const QStringList fixed_;
    Plan armed_;
    InotifyWatches watches_;
    QTimer settle_;
    QTimer poll_;
    QStringList polled_;
    int wakeUps_ = 0;
#endif
};

#if !defined(_WIN32)
// `path` when it is a directory, else the nearest existing directory above it; empty
// when none is found (a relative path that leads nowhere).
QString nearestExistingDirectory(const QString& path);
#endif

} // namespace ports
