// Linked into every test program that runs under Wine: before anything else runs, a
// prefix that still has a COM port the tests did not make ends the program (status 3),
// so that no test and no port list can reach the machine's own serial devices.

#include "prefixports.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool underWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

[[maybe_unused]] const bool checked = [] {
    if (!underWine())
        return true;
    const std::vector<std::string> foreign = wintest::foreignComPorts();
    if (foreign.empty())
        return true;
    std::fprintf(stderr, "This Wine prefix has COM ports the tests did not make; a test could reach the machine's "
                         "own serial devices through them. Not running.\n");
    for (const std::string& port : foreign)
        std::fprintf(stderr, "  %s\n", port.c_str());
    std::fflush(stderr);
    std::_Exit(3);
}();

} // namespace
