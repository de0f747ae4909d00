#pragma once
// Who holds a port that would not open: the processes that have the device open (as
// far as /proc lets this user see) and the owner of a UUCP lock file (LCK..ttyUSB0),
// which other serial programs leave in the lock directory while they use a port.

#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace ports {

struct HolderRoots {
    QString procRoot;               // "/proc"
    QStringList lockDirectories;    // "/run/lock", "/var/lock"

    static HolderRoots thisMachine();
};

struct PortHolder {
    pid_t pid = 0;
    QString program;   // the process's command name; empty when it cannot be read
    friend bool operator==(const PortHolder&, const PortHolder&) = default;
};

// The holders of `devicePath`, each process once, in process-number order. This
// process is left out. Processes of other users are found only through their lock
// file; a lock file whose process is gone is stale and left out.
QList<PortHolder> portHolders(const QString& devicePath, const HolderRoots& roots = HolderRoots::thisMachine());

// "minicom (pid 812)", joined by ", "; empty when nobody is known.
QString holdersText(const QList<PortHolder>& holders);

// The pid written in a lock file: ten ASCII digits (HDB style, blanks allowed) or a
// binary int (old UUCP); 0 when the file says nothing usable.
pid_t lockFileProcess(const QByteArray& content);

} // namespace ports
