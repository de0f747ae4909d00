#pragma once
// The capture file: a capture as plain UTF-8 text, one record a line, so that it can be
// read in any editor, searched with grep, compared with diff and read back by programs
// that know nothing of this one. Format 1:
//
//   QLDIXw capture 1
//   start 2025-05-01T12:03:04.123456+03:00      wall-clock time of time 0, with its offset
//   protocol dix                                 dix, ql, erk or none
//   gap 3.5                                      frame gap in character times
//   0.000000 A opened COM7
//   0.000000 A settings 4800 8N2                 speed, data bits, parity (N O E M S), stop bits
//   1.234567 A 60 01 81 FB                       a chunk: two hex digits a byte
//   1.262310 B 01 81 00 12 34 56 07 C8
//   5.000000 B overrun                           the driver lost bytes here
//   5.000000 B line-error parity                 framing, parity or break errors
//   9.100000 A closed device lost                closed, and why
//   9.100000 A note Waiting for COM7 ...         a line about the port
//
// A record's time is seconds since time 0 with six decimals (the monotonic clock, so it
// never runs backwards). Lines starting with "#" and empty lines are comments. A reader
// skips keys and record kinds it does not know, so later formats may add them.

#include "capture.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <optional>
#include <vector>

namespace linecapture {

// The file's first line.
inline constexpr char kCaptureMagic[] = "QLDIXw capture 1";

// The header lines of the file, its first line included, each ended by LF.
QByteArray captureHeaderText(const Capture& capture);
// One record's line, ended by LF, appended to `out`.
void appendRecordText(const CaptureRecord& record, QByteArray& out);
// The whole file.
QByteArray captureText(const Capture& capture);
// The same into `out` a piece at a time, so a long capture is never held twice; false
// when the device refused a write.
bool writeCapture(const Capture& capture, QIODevice& out);

struct CaptureReading {
    Capture capture;
    // Empty when the text was read; otherwise what is wrong, and on which line (1-based).
    QString error;
    int errorLine = 0;
    // Lines with a key or a record kind this reader does not know.
    int skippedLines = 0;
    // The file's line (from 1) of each record, by the record's index.
    std::vector<int> recordLines;
};

// Reads a whole file. A text that does not start with the magic line, or that holds a
// line this format cannot mean (a bad time, side or byte), is refused with the line.
CaptureReading readCapture(QByteArrayView text);

// The names of the protocols in the file ("dix", "ql", "erk", "none").
QString protocolToken(Protocol protocol);
std::optional<Protocol> protocolFromToken(QStringView token);

} // namespace linecapture
