#pragma once
// A line in Russian that tells the operator what to do about a port that would not open,
// shown under the serial component's own (English) message.

#include "commerror.h"

#include <QString>
#include <exception>

namespace ports {

// `kind` is what the serial component says went wrong; `devicePath`, when known, lets the line
// name the group that owns the device, or the programs holding a busy one. Empty for failures with nothing useful to add.
QString openFailureDetail(commport::CommErrorKind kind, const QString& devicePath = {});

// The text an error box shows for an exception: the serial component's message, the
// device it was about ("COM3: /dev/ttyUSB0", or just a name) and the line above.
QString failureText(const std::exception& error, const QString& device = {});

} // namespace ports
