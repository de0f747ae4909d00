#pragma once
// A line in Russian that tells the operator what to do about a port that would not open,
// shown under the serial component's own (English) message.

#include <QString>

namespace ports {

// `errorCode` is the errno the open failed with; `devicePath`, when known, lets the line name
// the group that owns the device, or the programs holding a busy one. Empty for codes with
// nothing useful to add.
QString openFailureDetail(int errorCode, const QString& devicePath = {});

} // namespace ports
