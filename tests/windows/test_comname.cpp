// The COM naming rules without Qt, which the port list on Windows and the Linux port
// directory share (the list's items are checked with the registry's values and by the
// Linux port list test). Built for Linux too.

#include "comname.h"
#include "minitest.h"

#include <algorithm>

using namespace ports;

TEST_CASE(comNumbers)
{
    const struct {
        const char* name;
        int number;
    } rows[] = {
        {"COM1", 1},       {"COM9", 9},       {"COM10", 10},   {"COM256", 256}, {"COM0", 0},
        {"COM07", 7},      {"COM999999", 999999},
        // Not a number, or not only one.
        {"COM", -1},       {"COMx", -1},      {"COM+5", -1},   {"COM 5", -1},   {"COM5 ", -1},
        {"COM-1", -1},     {"COM1234567", -1}, {"COM99999999999999999999", -1},
        // Not a COM name, as Windows and the window spell it.
        {"com3", -1},      {"LPT1", -1},      {"ttyS0", -1},   {"\\\\.\\COM3", -1}, {"", -1},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.name);
        CHECK_EQ(comNumberOf(row.name), row.number);
    }
}

TEST_CASE(comOrder)
{
    std::vector<std::string> names = {"COM12", "Bluetooth", "COM3", "COM1", "COMx", "COM10", "COM2"};
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return comNameBefore(a, b); });
    const std::vector<std::string> expected = {"COM1", "COM2", "COM3", "COM10", "COM12", "Bluetooth", "COMx"};
    CHECK(names == expected);
    CHECK(!comNameBefore("COM3", "COM3"));
}
