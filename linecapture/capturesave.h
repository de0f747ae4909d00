#pragma once
// A capture saved to its file: the file at the path is replaced whole or left exactly as
// it was (the text goes to a temporary file beside it that takes the name only when it is
// complete). Each call says nothing when it saved, else the reason, for the caller's
// message.

#include "capture.h"

#include <QString>

namespace linecapture {

// The capture file's extension, as the save dialogs add it.
inline const QString kCaptureSuffix = QStringLiteral(".qlcap");

// The save dialog's name rule: a name without ".qlcap" in it gets it appended. Only the
// file's own name counts, not the folders above it.
QString withCaptureSuffix(const QString& chosenPath);

// Writes the capture held in memory.
QString saveCapture(const Capture& capture, const QString& path);

// Writes the capture file at `source` again, record by record, under the header lines
// of `header` (its start, protocol and gap): a capture shown from its file is never held
// whole, so it is copied from there.
QString saveCaptureCopy(const QString& source, const Capture& header, const QString& path);

} // namespace linecapture
