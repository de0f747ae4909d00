#pragma once
// Publishing the pseudo-terminal under a port name: a symbolic link to the slave.

#include <QString>

namespace devsim {

// Creates the directory and any missing parent with mode 0700. Refuses a directory
// that is not private to this user (ports/privatedirectory.h), since the link in it
// is what the console will open, and the console would leave it alone.
// Returns an error text, empty on success.
QString preparePortsDirectory(const QString& directory);

// Points linkPath at target, replacing a link left there by an earlier run.
// Refuses to replace anything that is not a symbolic link. Error text, or empty.
QString publishLink(const QString& linkPath, const QString& target);

// Removes the link if it still points at target (another run may have taken the
// name over since).
void unpublishLink(const QString& linkPath, const QString& target);

} // namespace devsim
