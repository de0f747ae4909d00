#pragma once
// What a Win32 error code means for the serial port component.

#include "commerror.h"

#include <string>

namespace commport::win {

// The kind of a failure to open a port. A port another program holds is refused with
// ERROR_ACCESS_DENIED (the serial driver allows one opener): it is Busy, not a question
// of rights, which Windows does not set on COM ports.
CommErrorKind OpenFailureKind(unsigned long error);

// A call on an open port failed because its device is gone: a USB adapter pulled out
// fails every later call with ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND or
// ERROR_DEVICE_REMOVED, depending on its driver; Wine reports the closed other end of a
// pseudo-terminal as ERROR_NOT_READY or ERROR_BROKEN_PIPE. ERROR_OPERATION_ABORTED is
// not among them: it also ends a wait that was cancelled on purpose.
bool MeansDeviceGone(unsigned long error);

// The system's own text for `error`, in English where the system has it.
std::string ErrorText(unsigned long error);

} // namespace commport::win
