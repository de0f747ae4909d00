#pragma once
// Tells when ports may have come or gone, without looking in between: the kernel's
// directory change notices (inotify, through QFileSystemWatcher) on the device
// directory, its pseudo-terminals, its by-id links and the virtual ports directory. A directory that does not
// exist yet (no USB adapter plugged since boot, no simulator run yet) is waited for by
// watching the nearest directory above it that does.

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
    QStringList wantedDirectories() const { return wanted_; }
    // What is watched now: each wanted directory, or the nearest existing one above it.
    QStringList watchedDirectories() const { return watcher_.directories(); }

signals:
    // Ports may have changed. Comes once after a burst of changes has settled: a USB
    // adapter brings its node, then its by-id link, then its group and mode, one after
    // the other within a few milliseconds.
    void portsChanged();

private:
    void directoryChanged(const QString& path);
    // Watches what `wanted_` asks for now; true when the set changed.
    bool rearm();

    QStringList wanted_;
    QStringList armed_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
};

// `path` when it is a directory, else the nearest existing directory above it; empty
// when none is found (a relative path that leads nowhere).
QString nearestExistingDirectory(const QString& path);

} // namespace ports
