#include "registryports.h"

#include "comname.h"

#include <algorithm>

namespace ports::windows {

SerialCommRead readSerialCommValues(HKEY root, const char* subKey)
{
    SerialCommRead read;
    HKEY key = nullptr;
    const LONG opened = ::RegOpenKeyExA(root, subKey, 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) {
        if (opened != ERROR_FILE_NOT_FOUND)
            read.error = opened;
        return read;
    }
    DWORD longestName = 0, longestData = 0;
    if (const LONG queried = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                &longestName, &longestData, nullptr, nullptr);
        queried != ERROR_SUCCESS) {
        ::RegCloseKey(key);
        read.error = queried;
        return read;
    }
    std::string name(longestName + 1, '\0');
    std::string data(longestData + 1, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG got = ::RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (got == ERROR_NO_MORE_ITEMS)
            break;
        if (got == ERROR_MORE_DATA) {
            // A value added since the sizes were asked: ask again with room for it.
            name.resize(name.size() * 2 + 256);
            data.resize(data.size() * 2 + 256);
            --index;
            continue;
        }
        if (got != ERROR_SUCCESS) {
            read.error = got;
            break;
        }
        if (type != REG_SZ)
            continue;
        std::string port(data.data(), dataSize);
        const std::size_t end = port.find('\0');
        if (end != std::string::npos)
            port.resize(end);
        read.values.push_back({std::string(name.data(), nameSize), std::move(port)});
    }
    ::RegCloseKey(key);
    return read;
}

std::vector<std::string> serialCommPortNames(const std::vector<SerialCommValue>& values)
{
    std::vector<std::string> names;
    for (const SerialCommValue& value : values) {
        if (std::find(names.begin(), names.end(), value.port) == names.end())
            names.push_back(value.port);
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return comNameBefore(a, b); });
    return names;
}

} // namespace ports::windows
