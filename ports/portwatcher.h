#pragma once
// Tells when ports may have come or gone, without looking in between: the kernel's
// directory change notices (inotify, through QFileSystemWatcher) on the device
// directory, its by-id links, the virtual ports directory and the directories its links
// point into (mostly /dev/pts: a virtual port's device can go while its link stays). A
// directory that does not exist yet (no USB adapter plugged since boot, no simulator
// run yet) is waited for by watching the nearest directory above it that does.

#include "portdirectory.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace ports {

class PortWatcher : public QObject {
    Q_OBJECT
public:
    explicit PortWatcher(PortRoots roots, QObject* parent = nullptr);

    // The directories whose changes mean something for the port list.
    QStringList wantedDirectories() const;
    // What is watched now: each wanted directory, or the nearest existing one above it.
    QStringList watchedDirectories() const { return watcher_.directories(); }
    // How many times a notice from the kernel woke the watcher.
    int wakeUps() const { return wakeUps_; }

signals:
    // Ports may have changed. Comes once after a burst of changes has settled: a USB
    // adapter brings its node, then its by-id link, then its group and mode, one after
    // the other within a few milliseconds.
    void portsChanged();

private:
    void directoryChanged(const QString& path);
    // Watches what is wanted now; true when that changed.
    bool rearm();
    // The directories the virtual ports' links point into.
    QStringList linkTargetDirectories() const;
    // Each virtual link with the device it leads to now (empty when it dangles).
    QStringList virtualLinkStates() const;
    void noticed();

    const QString virtualDirectory_;
    const QStringList fixed_;
    QStringList targets_;
    QStringList armed_;
    QStringList linkStates_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
    int wakeUps_ = 0;
};

// `path` when it is a directory, else the nearest existing directory above it; empty
// when none is found (a relative path that leads nowhere).
QString nearestExistingDirectory(const QString& path);

} // namespace ports
