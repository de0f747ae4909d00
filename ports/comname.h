#pragma once
// The rules for COM names that need no Qt (a name's number, the order of names, the
// window's list), so that the port list on Windows (read from the registry) follows the
// same ones as the directory on Linux. Which COM name each of Linux's ports gets is
// systemportnames.h's.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ports {

// The number after "COM" when the rest of the name is decimal digits only; -1 otherwise
// (not a COM name, no digits, a sign, blanks, or too long to be a port number: six
// digits are far more than any port has).
int comNumberOf(std::string_view name);

// COM-number order: numbered names first by number, then the rest by name.
bool comNameBefore(std::string_view a, std::string_view b);

// The names of the window's port list: those whose number is below 10, in the order
// given. std::nullopt means "keep the built-in list COM1 to COM10": fewer than two
// names, or none that qualifies (an empty list would leave no current port).
std::optional<std::vector<std::string>> portListItemsOf(const std::vector<std::string>& names);

} // namespace ports
