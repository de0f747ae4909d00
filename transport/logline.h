#pragma once
// The log lines every family writes about the line: one builder for each, so a sent
// or received frame reads the same in every pane.

#include <QString>
#include <cstdint>
#include <span>

namespace transport {

// "PC<- (" + time stamp + ")": the start of every line about a reply.
QString receivedLinePrefix(const QString& timeStamp);
// "PC<- (" + time stamp + ") " + byte text: two blanks before the first byte.
QString receivedFrameLine(std::span<const std::uint8_t> reply, const QString& timeStamp);
// "PC-> (" + time stamp + ")" + " " + byte text: two blanks before the first byte.
QString sentFrameLine(std::span<const std::uint8_t> frame, const QString& timeStamp);
// A reply of two bytes or more whose last byte is the checksum of the others.
bool replyChecksumMatches(std::span<const std::uint8_t> reply);
// " CSM ERROR " + the byte count.
QString checksumErrorText(std::size_t count);
// "TimeOut": the reply window ended with nothing received.
QString timeOutLine();
// A frame asked for while the port is closed: said once for the click or key that asked.
QString portClosedLine();

} // namespace transport
