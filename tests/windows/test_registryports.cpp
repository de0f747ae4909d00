// The ports Windows lists under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, as the port list
// reads them: from a key of the test's own with exactly the values each row needs, and
// from the real key with values the test adds to what the system put there.

#include "comname.h"
#include "minitest.h"
#include "peerclient.h"
#include "prefixports.h"
#include "registryports.h"

#include <windows.h>

#include <algorithm>
#include <memory>

using namespace ports;
using namespace ports::windows;

namespace {

constexpr const char* kTestKey = "Software\\QLDIXw tests\\SERIALCOMM";

struct Value {
    std::string name;
    DWORD type;
    std::string data; // stored as given, without a terminating null unless it has one
};

void setValue(HKEY key, const Value& v)
{
    const LONG set = ::RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                                      static_cast<DWORD>(v.data.size()));
    REQUIRE_EQ(set, LONG(ERROR_SUCCESS));
}

std::string sz(const std::string& text) { return text + '\0'; }

std::vector<std::string> portsOf(const std::vector<SerialCommValue>& values)
{
    std::vector<std::string> ports;
    for (const SerialCommValue& v : values)
        ports.push_back(v.port);
    return ports;
}

} // namespace

TEST_CASE(valuesOfAKey)
{
    using Names = std::vector<std::string>;
    const DWORD one = 1;
    const std::string dword(reinterpret_cast<const char*>(&one), sizeof one);
    const struct {
        const char* row;
        std::vector<Value> values;
        Names read;      // the ports read, in any order (the registry promises none)
        Names names;     // in COM order, each once
        bool keepBuiltIn;
        Names items;     // the window's list
    } rows[] = {
        {"no values", {}, {}, {}, true, {}},
        {"a single port", {{"\\Device\\Serial0", REG_SZ, sz("COM3")}}, {"COM3"}, {"COM3"}, true, {}},
        {"ten and more are named but not listed",
         {{"\\Device\\Serial0", REG_SZ, sz("COM1")},
          {"\\Device\\VCP0", REG_SZ, sz("COM12")},
          {"\\Device\\Serial1", REG_SZ, sz("COM4")},
          {"\\Device\\com0com10", REG_SZ, sz("COM256")}},
         {"COM1", "COM12", "COM4", "COM256"},
         {"COM1", "COM4", "COM12", "COM256"},
         false,
         {"COM1", "COM4"}},
        {"a value that is no COM name, and one that is no string",
         {{"\\Device\\BthModem0", REG_SZ, sz("Bluetooth")},
          {"\\Device\\Serial2", REG_SZ, sz("COM5")},
          {"\\Device\\Odd", REG_DWORD, dword},
          {"\\Device\\Serial3", REG_SZ, sz("COM2")}},
         {"Bluetooth", "COM5", "COM2"},
         {"COM2", "COM5", "Bluetooth"},
         false,
         {"COM2", "COM5"}},
        {"a string stored without its null, and a port listed twice",
         {{"\\Device\\Serial0", REG_SZ, "COM6"},
          {"\\Device\\Serial1", REG_SZ, sz("COM6")},
          {"\\Device\\Serial2", REG_SZ, sz("COM10")}},
         {"COM6", "COM6", "COM10"},
         {"COM6", "COM10"},
         false,
         {"COM6"}},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QLDIXw tests");
        HKEY key = nullptr;
        REQUIRE_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                     nullptr),
                   LONG(ERROR_SUCCESS));
        for (const Value& v : row.values)
            setValue(key, v);
        ::RegCloseKey(key);

        const SerialCommRead read = readSerialCommValues(HKEY_CURRENT_USER, kTestKey);
        CHECK_EQ(read.error, 0L);
        Names ports = portsOf(read.values), expected = row.read;
        std::sort(ports.begin(), ports.end());
        std::sort(expected.begin(), expected.end());
        CHECK(ports == expected);
        for (const SerialCommValue& v : read.values) {
            const auto written = std::find_if(row.values.begin(), row.values.end(),
                                              [&](const Value& w) { return w.name == v.device; });
            CHECK(written != row.values.end() && written->data.compare(0, v.port.size(), v.port) == 0);
        }
        const std::vector<std::string> names = serialCommPortNames(read.values);
        CHECK(names == row.names);
        const auto items = portListItemsOf(names);
        CHECK_EQ(!items.has_value(), row.keepBuiltIn);
        if (items)
            CHECK(*items == row.items);
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QLDIXw tests");

    // A machine that has had no serial port since boot has no key at all.
    const SerialCommRead none = readSerialCommValues(HKEY_CURRENT_USER, kTestKey);
    CHECK_EQ(none.error, 0L);
    CHECK(none.values.empty());
}

// The real key, read as the program reads it (read-only), with two ports added to what
// the system lists; they come out in COM order among the others.
TEST_CASE(theSystemsKey)
{
    HKEY key = nullptr;
    // Wine makes the key when it starts; Windows when it has found a serial port.
    REQUIRE_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, nullptr, REG_OPTION_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, &key, nullptr),
               LONG(ERROR_SUCCESS));
    const Value added[] = {{"\\Device\\QldixwTest1", REG_SZ, sz("COM243")}, {"\\Device\\QldixwTest0", REG_SZ, sz("COM242")}};
    for (const Value& v : added)
        setValue(key, v);

    const SerialCommRead read = readSerialCommValues();
    for (const Value& v : added)
        ::RegDeleteValueA(key, v.name.c_str());
    ::RegCloseKey(key);

    CHECK_EQ(read.error, 0L);
    const std::vector<std::string> names = serialCommPortNames(read.values);
    const auto at = [&](const char* name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    CHECK(at("COM242") < long(names.size()));
    CHECK(at("COM242") + 1 == at("COM243"));
    CHECK(std::is_sorted(names.begin(), names.end(),
                         [](const std::string& a, const std::string& b) { return comNameBefore(a, b); }));
    std::string listed;
    for (const std::string& n : names)
        listed += " " + n;
    minitest::note("the system's serial ports with the two added:" + listed);
}

// What the guard of every test program finds: a value the tests did not make, a COM name
// that leads to a device through the prefix's dosdevices (a pseudo-terminal the peer
// published stands in for the machine's own port: its link is made the same way); and the prefix itself, where the run removed what
// Wine made for the machine's own ports (COM1 for /dev/ttyS0) before any test started.
TEST_CASE(portsNoTestMade)
{
    const struct {
        const char* row;
        std::vector<Value> values;
        std::vector<std::string> dosNames;
        std::vector<std::string> found;
    } rows[] = {
        {"nothing", {}, {}, {}},
        {"a COM name that leads to a device", {}, {"published"}, {"published -> "}},
        {"the system's port", {{"\\Device\\Serial0", REG_SZ, sz("COM1")}}, {}, {"COM1 (\\Device\\Serial0) in SERIALCOMM"}},
        {"a test's own port", {{"\\Device\\QldixwTest0", REG_SZ, sz("COM240")}}, {}, {}},
        {"a name that leads nowhere", {}, {"COM258"}, {}},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QLDIXw tests");
        HKEY key = nullptr;
        REQUIRE_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                     nullptr),
                   LONG(ERROR_SUCCESS));
        for (const Value& v : row.values)
            setValue(key, v);
        ::RegCloseKey(key);
        // "published" stands for the name of a port the peer publishes for the row.
        std::unique_ptr<wintest::PeerDevice> device;
        const auto named = [&](std::string text) {
            const std::size_t at = text.find("published");
            if (at != std::string::npos) {
                if (!device)
                    device = std::make_unique<wintest::PeerDevice>();
                text.replace(at, 9, device->name());
            }
            return text;
        };
        std::vector<std::string> dosNames;
        for (const std::string& name : row.dosNames)
            dosNames.push_back(named(name));
        const std::vector<std::string> found = wintest::foreignComPorts(HKEY_CURRENT_USER, kTestKey, dosNames);
        REQUIRE_EQ(found.size(), row.found.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            const std::string expected = named(row.found[i]);
            CHECK_EQ(found[i].substr(0, expected.size()), expected);
            // Wine names the prefix's link the name leads through.
            if (device)
                CHECK(found[i].find("/dosdevices/com") != std::string::npos);
        }
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QLDIXw tests");

    std::string left;
    for (const std::string& port : wintest::foreignComPorts())
        left += "\n      " + port;
    CHECK_EQ(left, std::string());
}
