#pragma once
// The serial ports Windows knows: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
// Each value is one port; its name is the driver's device object ("\Device\Serial0",
// "\Device\VCP0" for a USB adapter), its data the COM name Windows gave it ("COM3").
//
// The key is only read (KEY_READ). Asking for every right, as a registry class does by
// default, is refused to a user who is no administrator, and the list then came out
// empty on ordinary accounts.

#include <windows.h>

#include <string>
#include <vector>

namespace ports::windows {

inline constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct SerialCommValue {
    std::string device; // the value's name: "\Device\Serial0"
    std::string port;   // its data: "COM1"
};

struct SerialCommRead {
    std::vector<SerialCommValue> values; // in the order the registry enumerates them
    // 0, or the system's code when the key could not be opened or read to the end. A
    // missing key (no serial port since boot) is no error: no values.
    long error = 0;
};

// Values whose data is not a string (REG_SZ) are skipped; a string may lack its
// terminating null in the registry, and is read to its stored length.
SerialCommRead readSerialCommValues(HKEY root = HKEY_LOCAL_MACHINE, const char* subKey = kSerialCommKey);

// The port names of `values` in COM-number order (comname.h), each once.
std::vector<std::string> serialCommPortNames(const std::vector<SerialCommValue>& values);

} // namespace ports::windows
