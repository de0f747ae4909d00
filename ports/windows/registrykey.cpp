#include "registrykey.h"

namespace ports::windows {

RegistryKeyName splitRegistryKey(const QString& name)
{
    static const struct {
        const char* text;
        HKEY root;
    } roots[] = {{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER}};
    const qsizetype separator = name.indexOf(u'\\');
    const QString root = separator < 0 ? name : name.left(separator);
    for (const auto& known : roots) {
        if (root == QLatin1String(known.text))
            return {known.root, separator < 0 ? std::string() : name.mid(separator + 1).toStdString()};
    }
    return {};
}

} // namespace ports::windows
