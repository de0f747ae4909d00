#include "prefixports.h"

#include "registryports.h"

namespace wintest {

namespace {

// Where a device name leads on the Linux side: what opening it would open. Wine resolves
// "\\.\COM1" through the prefix's dosdevices/com1 link; the NT device its services
// also make for COM1 (QueryDosDevice's answer) reaches nothing by itself. Not under Wine:
// what QueryDosDevice says.
std::string unixDeviceOf(const std::string& name)
{
    using UnixFileName = char* (*)(const wchar_t*);
    const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
    const auto unixFileName =
        kernel32 ? reinterpret_cast<UnixFileName>(::GetProcAddress(kernel32, "wine_get_unix_file_name")) : nullptr;
    if (!unixFileName) {
        char target[1024];
        return ::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0 ? std::string(target) : std::string();
    }
    const std::wstring path = L"\\\\.\\" + std::wstring(name.begin(), name.end());
    char* unixPath = unixFileName(path.c_str());
    if (!unixPath)
        return {};
    std::string target(unixPath);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return target;
}

} // namespace

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
        const std::string target = unixDeviceOf(name);
        if (!target.empty())
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
