#include "portlist.h"

namespace ports {

QStringList builtInPortNames()
{
    QStringList names;
    for (int number = 1; number <= 10; ++number)
        names << QStringLiteral("COM%1").arg(number);
    return names;
}

std::optional<QStringList> portListItems(const QList<PortEntry>& entries)
{
    // With one port or none the built-in list is more use: it still offers COM1, which the
    // lone port (or a virtual one published later) is likely to be.
    if (entries.size() < 2)
        return std::nullopt;
    QStringList items;
    for (const PortEntry& entry : entries) {
        const int number = comNumber(entry.name);
        if (number >= 0 && number < 10)
            items << entry.name;
    }
    // An empty list would leave the window with no current port at all.
    if (items.isEmpty())
        return std::nullopt;
    return items;
}

} // namespace ports
