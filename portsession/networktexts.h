#pragma once
// What the operator reads about a line behind a serial device server: the name that is
// not one, a connect that failed, the tool tip, the note that a bare TCP line carries
// no settings. The component's own English message stays first, as for a local port.

#include "backend.h"
#include "commerror.h"
#include "net/networkname.h"

#include <QString>
#include <cstddef>
#include <exception>

namespace portsession {

bool isNetworkName(const QString& name);

// One message for a name that asks for a network line and is not a valid one.
QString invalidNetworkNameText(const QString& name, commport::net::NameFault fault);

// The error box of a connect that failed.
QString connectFailureText(const QString& name, const commport::backend::SystemError& error);
// The error box of an open that failed once connected (a refused setting, a server
// that closed): the component's message, the name, and what the server said.
QString networkOpenFailureText(const std::exception& error, const QString& name,
                               const commport::TCommLastError& lastError);

// The port list's tool tip for a network name.
QString describeNetworkName(const QString& name);

// The log's note when a bare TCP line opens: its settings are the server's.
QString rawLineNotice(const QString& name);

// A failure that only says the server is not there (not running, not reachable, or
// closing at once because its device is missing): a reconnection waits on silently.
bool serverAbsent(int errorCode);
// A connect that the server ended at once (closed or reset).
bool serverClosedAtOnce(int errorCode);

// The log's line, once for a series of tries, when the server closes each connection
// at once: `device` is "Устройство NAME", `said` the component's words, if any.
QString closesAtOnceText(const QString& device, const QString& said, int longestPauseMs);
// Why a server that broke the protocol was dropped.
QString misbehavingServerText(const QString& said);
// The log's note, once an open, when the data nobody read has filled the line's input and
// the server is held back.
QString inputHeldText(const QString& name, std::size_t bytes);

} // namespace portsession
