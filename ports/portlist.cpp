#include "portlist.h"

#include "comname.h"

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
    // The rule the port list on Windows uses too (comname.h).
    std::vector<std::string> names;
    names.reserve(std::size_t(entries.size()));
    for (const PortEntry& entry : entries)
        names.push_back(entry.name.toStdString());
    const std::optional<std::vector<std::string>> items = portListItemsOf(names);
    if (!items)
        return std::nullopt;
    QStringList list;
    for (const std::string& name : *items)
        list << QString::fromStdString(name);
    return list;
}

} // namespace ports
