// The COM naming rules without Qt: what the port list on Windows shows of the registry's
// ports. Built for Linux too, so both systems check the same rules.

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

TEST_CASE(portListItems)
{
    using Names = std::vector<std::string>;
    const struct {
        const char* row;
        Names names;
        bool keepBuiltIn;
        Names items;
    } rows[] = {
        {"no ports", {}, true, {}},
        {"a single port", {"COM3"}, true, {}},
        {"10 and more are not listed, order kept", {"COM4", "COM1", "COM12"}, false, {"COM4", "COM1"}},
        {"only numbers of 10 and more", {"COM12", "COM15"}, true, {}},
        {"non-numeric rest skipped", {"COMx", "COM2", "COM3"}, false, {"COM2", "COM3"}},
        {"nothing numeric at all", {"COMx", "COM", "COM+5", "COM 5", "COM5 ", "COM-1"}, true, {}},
        {"edges of the range", {"COM0", "COM9", "COM10"}, false, {"COM0", "COM9"}},
        {"not a COM name", {"ttyS0", "AUX5", "COM6"}, false, {"COM6"}},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        const auto items = portListItemsOf(row.names);
        CHECK_EQ(!items.has_value(), row.keepBuiltIn);
        if (items)
            CHECK(*items == row.items);
    }
}
