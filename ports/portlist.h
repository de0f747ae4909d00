#pragma once
// The items of the window's port list, from the port directory's entries.

#include "portentry.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace ports {

// "COM1" … "COM10": the list the window starts with and keeps when the system offers too
// little to replace it.
QStringList builtInPortNames();

// The names to show, in the entries' order: those whose text after "COM" is a number below
// 10. A name whose rest is not a plain decimal number is skipped. std::nullopt means "keep
// the built-in list": fewer than two entries, or none that qualifies. With a list, the
// window shows its first item.
std::optional<QStringList> portListItems(const QList<PortEntry>& entries);

} // namespace ports
