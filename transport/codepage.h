#pragma once
// The two single-byte code pages the console speaks: Windows-1251, the log files' and
// the keyboard table's, and 866, the dispenser's version text. Tables of our own rather
// than the system's converters: Qt for Windows is built without ICU, which on Linux was
// the only source of both, and the console must read and write the same bytes on both
// systems. ASCII is itself below 0x80.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace transport {

enum class CodePage { Windows1251, Cp866 };

// Every byte has a character (1251's one unassigned byte, 0x98, reads as U+0098, as
// Windows itself reads it), so any bytes decode, and a piece cut anywhere decodes alone.
void appendDecoded(CodePage page, QByteArrayView bytes, QString& out);
QString decoded(CodePage page, QByteArrayView bytes);

// The byte of one character, or nothing when the code page has none for it.
std::optional<unsigned char> encodedByte(CodePage page, char32_t character);

// One byte a character: a character the code page has no byte for (a surrogate pair is
// one character, a lone surrogate one too) becomes '?', counted in `substituted`.
void appendEncoded(CodePage page, QStringView text, QByteArray& out, qsizetype& substituted);
QByteArray encoded(CodePage page, QStringView text);

} // namespace transport
