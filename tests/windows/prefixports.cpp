#include "prefixports.h"

#include "registryports.h"

namespace wintest {

std::vector<std::string> foreignComPorts(HKEY root, const char* key, const std::vector<std::string>& dosNames)
{
    std::vector<std::string> foreign;
    const ports::windows::SerialCommRead read = ports::windows::readSerialCommValues(root, key);
    if (read.error != 0)
        foreign.push_back("SERIALCOMM could not be read (error " + std::to_string(read.error) + ")");
    for (const ports::windows::SerialCommValue& value : read.values) {
        if (value.device.rfind(kTestDevicePrefix, 0) != 0)
            foreign.push_back(value.port + " (" + value.device + ") in SERIALCOMM");
    }
    for (const std::string& name : dosNames) {
        char target[1024];
        if (::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0)
            foreign.push_back(name + " -> " + target);
    }
    return foreign;
}

std::vector<std::string> foreignComPorts()
{
    std::vector<std::string> names;
    for (int number = 1; number < 100; ++number)
        names.push_back("COM" + std::to_string(number));
    return foreignComPorts(HKEY_LOCAL_MACHINE, ports::windows::kSerialCommKey, names);
}

} // namespace wintest
