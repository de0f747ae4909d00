#include "comname.h"

namespace ports {

int comNumberOf(std::string_view name)
{
    if (name.substr(0, 3) != "COM")
        return -1;
    const std::string_view digits = name.substr(3);
    if (digits.empty() || digits.size() > 6)
        return -1;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool comNameBefore(std::string_view a, std::string_view b)
{
    const int na = comNumberOf(a);
    const int nb = comNumberOf(b);
    if ((na < 0) != (nb < 0))
        return na >= 0;
    if (na != nb)
        return na < nb;
    return a < b;
}

std::optional<std::vector<std::string>> portListItemsOf(const std::vector<std::string>& names)
{
    // With one port or none the built-in list is more use: it still offers COM1, which
    // the lone port (or one published later) is likely to be.
    if (names.size() < 2)
        return std::nullopt;
    std::vector<std::string> items;
    for (const std::string& name : names) {
        const int number = comNumberOf(name);
        if (number >= 0 && number < 10)
            items.push_back(name);
    }
    if (items.empty())
        return std::nullopt;
    return items;
}

} // namespace ports
