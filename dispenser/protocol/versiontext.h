#pragma once
// The controller's version text: code page 866 with box-drawing frames, turned into
// the lines the console log shows.

#include <QStringList>
#include <cstdint>
#include <span>

namespace dispenser {

// The complete lines of the text (each ended by LF); CR is dropped, the double
// vertical frame line becomes "|", the double horizontal line and the corners that
// join it become "-", and each line loses its leading blanks and control characters.
// Text after the last LF is not a line.
QStringList versionTextLines(std::span<const std::uint8_t> text);

} // namespace dispenser
