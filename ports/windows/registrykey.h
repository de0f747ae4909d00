#pragma once
// A registry key as the port roots name it: "HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM".

#include <QString>

#include <windows.h>

#include <string>

namespace ports::windows {

struct RegistryKeyName {
    HKEY root = nullptr; // nullptr: the name starts with no root key this knows
    std::string subKey;
};

RegistryKeyName splitRegistryKey(const QString& name);

} // namespace ports::windows
