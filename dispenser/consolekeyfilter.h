#pragma once
// The console line takes frame text only: hex digits, blanks, "*" and control keys.
// Lower-case letters, and the Cyrillic letters that share their keys on a Russian
// layout, become the upper-case hex letters, so frames can be typed without
// switching the keyboard layout.

#include <QChar>
#include <optional>

namespace dispenser {

// The character to insert for a typed one, or nothing when the key is dropped.
std::optional<QChar> consoleKeyFilter(QChar typed);

} // namespace dispenser
