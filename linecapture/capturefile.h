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
// A record's time is seconds since time 0 with six decimals (the monotonic clock). The
// two taps stamp their chunks on threads of their own and the events on the window's,
// so a record may come a moment before one written ahead of it; a record more than
// kTimeDisorderUs earlier than one before it is no capture's and is refused. Lines
// starting with "#" and empty lines are comments. The header keys come before the first
// record. A record whose first word is hex digits only is a chunk, and each of its words
// must be whole bytes ("60 01" or "6001"); a word with letters is a kind of record, and a
// reader skips keys and kinds it does not know, so later formats may add them.

#include "capture.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace linecapture {

// The file's first line.
inline constexpr char kCaptureMagic[] = "QLDIXw capture 1";
// What the first line of a file says it is: a capture of this format, a capture of
// another format ("QLDIXw capture 2"), or no capture. `line` is the file's first bytes up
// to the first line end or further; a byte order mark before it is allowed (an editor
// on Windows may have added one).
enum class FirstLine { Capture, OtherFormat, NoCapture };
FirstLine captureFirstLine(QByteArrayView line);

// The most a record's time may lie before the latest time of the records ahead of it.
inline constexpr std::int64_t kTimeDisorderUs = 100'000;
// A longer line is no record (a chunk holds what one read of a port took).
inline constexpr qsizetype kLongestLine = 16 * 1024 * 1024;

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

// The file a line at a time: a capture of any size is read with the memory of one line,
// each record handed on as its line is read.
class CaptureReader {
public:
    // The next line, without its LF (a CR before it is dropped). False when the line is
    // refused: error() says why, and nothing more is read.
    bool readLine(QByteArrayView line);
    // The end of the text; false (with the error) when it held no line at all.
    bool finish();

    // The header as read so far: start, protocol and gap, no records.
    const Capture& header() const { return header_; }
    // The record of the last line read, if it held one: valid until the next line. Its
    // index counts the records read so far.
    const std::optional<CaptureRecord>& record() const { return record_; }
    int lineNumber() const { return lineNumber_; }
    const QString& error() const { return error_; }
    int skippedLines() const { return skippedLines_; }

private:
    bool refuse(const QString& why);
    bool readHeaderLine(QByteArrayView key, QByteArrayView rest);

    Capture header_;
    std::optional<CaptureRecord> record_;
    std::vector<std::uint8_t> bytes_; // the record's, reused
    std::size_t records_ = 0;
    std::int64_t latestUs_ = 0;
    int latestLine_ = 0;
    int lineNumber_ = 0;
    int skippedLines_ = 0;
    QString error_;
};

struct CaptureStreamReading {
    Capture header;
    QString error; // empty when read whole
    int errorLine = 0;
    bool stopped = false; // goOn said no
    int skippedLines = 0;
};

// Reads a capture file from `device` a piece at a time: `onRecord` is called for each
// line that holds a record (the reader's record(), lineNumber() and header() tell it),
// `goOn` with the bytes read so far after each piece, and stops the reading when it
// returns false.
CaptureStreamReading readCaptureStream(QIODevice& device, const std::function<void(const CaptureReader& reader)>& onRecord,
                                       const std::function<bool(qint64 bytesRead)>& goOn = {}, qint64 pieceBytes = 1 << 20);

// The names of the protocols in the file ("dix", "ql", "erk", "none").
QString protocolToken(Protocol protocol);
std::optional<Protocol> protocolFromToken(QStringView token);

} // namespace linecapture
