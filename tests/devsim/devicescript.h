#pragma once
// Runs a conversation with a simulated device, written the way requests are typed
// in the console: "> 60 01 81 *" feeds a request (each "*" closes a frame with its
// checksum, a rest after the last "*" goes without one), "< 01 81 00 ... *" expects
// the next reply, "@1500" moves the clock to 1500 ms, and "-" expects that no reply
// is left over. At the end no reply may be left over either.

#include <QByteArray>
#include <QStringList>

namespace devsim { class SimDevice; }

// The bytes of a frame text of one or more frames.
QByteArray framesOf(const QString& text);

// Feeds the script to the device, chunk bytes at a time (0: each request whole).
// Returns an empty text on success, else what went wrong and where.
QString runScript(devsim::SimDevice& device, const QStringList& script, int chunk = 0);
