#pragma once
// The COM ports of the Wine prefix that no test made. Wine links com1 to the machine's
// /dev/ttyS0 and lists it under SERIALCOMM whenever the prefix's services start, and on
// the machines these tests run on that can be a live system console: a port list or a
// test that reached it would write into the console. scripts/test-windows.sh removes
// them; every test program checks at its start that none is left (prefixguard.cpp).

#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

// The device names the tests give the SERIALCOMM values they add themselves.
inline constexpr const char* kTestDevicePrefix = "\\Device\\Qldixw";

// "COM1 (\Device\Serial0) in SERIALCOMM", "COM1 -> <prefix>/dosdevices/com1" for each value of `key`
// the tests did not make and each of `dosNames` that leads to a device.
std::vector<std::string> foreignComPorts(HKEY root, const char* key, const std::vector<std::string>& dosNames);
// The prefix's own: HKLM's SERIALCOMM and COM1 … COM99 (the peers publish from COM100).
std::vector<std::string> foreignComPorts();

} // namespace wintest
