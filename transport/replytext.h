#pragma once
// Pieces of the reply lines that every family's reception writes.

#include <QString>
#include <cstdint>
#include <span>

class QPlainTextEdit;

namespace transport {

// "PC<- (" + time stamp + ") " + byte text.
QString receivedFrameLine(std::span<const std::uint8_t> reply, const QString& timeStamp);
// "PC-> (" + time stamp + ")" + " " + byte text: two blanks before the first byte.
QString sentFrameLine(std::span<const std::uint8_t> frame);
// A reply of two bytes or more whose last byte is the checksum of the others.
bool replyChecksumMatches(std::span<const std::uint8_t> reply);
// " CSM ERROR " + the byte count.
QString checksumErrorText(std::size_t count);

void appendLine(QPlainTextEdit* pane, const QString& line);

} // namespace transport
