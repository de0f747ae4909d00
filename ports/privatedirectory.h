#pragma once
// Whether a folder of port links can be trusted: what a link there names is what the
// console opens and sends frames to. Without XDG_RUNTIME_DIR the folder sits under /tmp,
// where any user may create /tmp/qldixw-<uid> first and fill it with links to a terminal
// of theirs. The simulator that publishes links and the console that reads them ask the
// same question.

#include <QString>

#include <sys/types.h>

namespace ports {

enum class DirectoryTrust {
    Private,          // this user's (or root's), and no one else can change what is in it
    Missing,          // it, or a folder above it, does not exist
    SymbolicLink,     // a link another user could have made, or made to lead elsewhere
    NotADirectory,
    OtherOwner,       // another user owns it and can change it at will
    WritableByOthers, // its group or everyone may add and replace entries
    Unreadable,       // the system would not say what it is
};

struct DirectoryCheck {
    DirectoryTrust trust = DirectoryTrust::Missing;
    QString path;     // the folder (or link) at fault; the folder itself when it is private
    uid_t owner = 0;  // its owner, where that is what is at fault
    friend bool operator==(const DirectoryCheck&, const DirectoryCheck&) = default;
};

// Looks at `directory` and every folder above it without following a link at the end of
// any of them: each must be a folder owned by this user or by root that no one else may
// write to. Above the folder itself, one that everyone may write to is still fine when it
// is root's and sticky, as /tmp is: there no one can take away or replace an entry of ours.
// Links above it are followed only when root owns them (/var/run → /run).
DirectoryCheck checkPrivateDirectory(const QString& directory);

// A short English account of a check's result, for the simulator's messages.
QString describeDirectoryCheck(const DirectoryCheck& check);

} // namespace ports
