#pragma once
// Frame text: the hexadecimal text every frame is built from, typed by the operator
// or composed by a request, and the log form of bytes.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>

namespace transport {

// One frame holds at most this many bytes, checksum included.
inline constexpr int kMaxFrameBytes = 1024;

struct FrameBytes {
    QByteArray bytes;      // checksum already appended when asked for
    bool withChecksum = false;
};

// The value of one hexadecimal digit, upper or lower case; nothing for any other
// character. Every parse of hex text in the program goes through this one rule.
std::optional<int> hexDigitValue(QChar c);

// The hex letter a key means where hex text is typed: a-f, and the Russian letters on
// the same keys of the keyboard (ф и с в у а, either case), give A-F; nothing for any
// other character.
std::optional<QChar> hexLetterOfKey(QChar typed);

// The checksum closing every frame that carries one: start at FF, then for each
// byte XOR it in and rotate left by one bit.
std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes);
std::uint8_t frameChecksum(const QByteArray& bytes);

// True when the piece, after blanks are removed, holds nothing: no digit and no "*".
// Such a piece (blanks after the last "*") is not a frame and is not sent.
bool isBlankFramePiece(const QString& piece);

// Converts the text of one frame. Blanks (code 32 only) are dropped; a "*" that is
// the first and last mark asks for the checksum; pairs of characters give bytes, a
// lone last character gives its digit times 16, a lone first character nothing.
// A character that is not a hex digit counts 0 in either position of a pair.
// Returns nothing when the frame would exceed kMaxFrameBytes.
std::optional<FrameBytes> frameTextToBytes(const QString& frameText);

// A text of several frames cut at each "*" (runs of "*" count once); the rest after the
// last "*" is a frame without checksum unless it holds nothing but blanks.
QStringList splitFrameText(const QString& text);
// Every byte a text puts on the line, its frames one after the other; nothing when a
// frame would exceed kMaxFrameBytes.
std::optional<QByteArray> lineBytesOfText(const QString& text);

// " 60 01 81 FB": one blank and two upper-case hex digits per byte.
QString byteText(std::span<const std::uint8_t> bytes);
QString byteText(const QByteArray& bytes);
// Two upper-case hex digits, no blank.
QString hexByte(std::uint8_t byte);

// The local date and time for the log lines: the locale's short date, a blank,
// the time with seconds (the locale's long time format without a time zone).
QString timeStampText();
QString timeStampText(const QDateTime& when, const QLocale& locale);

// The last six characters of the text, left-padded with "0"; any character that is
// not 0-9 or an upper-case A-F counts as "0". Result 0..0xFFFFFF.
int hexText6ToInt(const QString& text);

} // namespace transport
