// Opening and closing a COM port on Windows: the names that lead to a port and those
// that do not, and a port held by another opener.

#include "wincomm.h"

using namespace wintest;
using namespace commport;

TEST_CASE(openFailures)
{
    const struct {
        const char* row;
        std::string name;
        const char* message;
        int code;
        CommErrorKind kind;
    } rows[] = {
        // No device of that name: a number no link stands for.
        {"missing", "COM251", "Error accessing specified device (Error: 2) ", ERROR_FILE_NOT_FOUND,
         CommErrorKind::NotFound},
        {"missing, device path", "\\\\.\\COM251", "Error accessing specified device (Error: 2) ",
         ERROR_FILE_NOT_FOUND, CommErrorKind::NotFound},
        // Things that open, but are no serial port.
        {"plain file", "C:\\windows\\win.ini", "Invalid device handle, access denied (Error: -1) ", -1,
         CommErrorKind::NotAPort},
        {"character device without line settings", "NUL", "Invalid device handle, access denied (Error: -1) ", -1,
         CommErrorKind::NotAPort},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        CallQueue gui;
        TComm comm;
        comm.SetMainThreadPoster(gui.poster());
        comm.SetDeviceName(row.name);
        try {
            comm.Open();
            CHECK(!"Open succeeded");
        } catch (const ECommError& e) {
            CHECK_EQ(std::string(e.what()), std::string(row.message));
            CHECK_EQ(e.ErrorCode, row.code);
            CHECK_EQ(e.Kind, row.kind);
        }
        CHECK(!comm.IsOpen());
        CHECK(!comm.EventThread());
    }
}

TEST_CASE(openCloseReopen)
{
    PeerDevice device;
    CallQueue gui;
    HandlerLog log;
    TComm comm;
    comm.SetMainThreadPoster(gui.poster());
    log.attach(comm);

    char byte = 0;
    comm.Close(); // closed: nothing to do
    comm.PurgeInput();
    CHECK_EQ(comm.Write("x", 1), -1);
    CHECK_EQ(comm.Read(&byte, 1), -1);

    // The bare name (COM10 and above need the device namespace, which the backend adds),
    // the device path, and a name a resolver turns into the path.
    const std::string names[] = {device.name(), device.path(), "COM7"};
    for (const std::string& name : names) {
        minitest::Row r(name);
        comm.SetDeviceName(name);
        comm.SetDevicePathResolver(name == "COM7" ? std::function<std::string(const std::string&)>(
                                                        [&](const std::string&) { return device.path(); })
                                                  : nullptr);
        // Open on an open port reopens it.
        comm.Open();
        comm.Open();
        REQUIRE(comm.IsOpen());
        CHECK(comm.EventThread());

        device.send("abc");
        REQUIRE(gui.runUntil([&] { return !log.rxCounts.empty(); }));
        CHECK_EQ(log.rxCounts.back(), 3);
        char got[8] = {};
        CHECK_EQ(comm.Read(got, 8), 3);
        CHECK_EQ(std::string(got, 3), std::string("abc"));
        CHECK_EQ(comm.Read(got, 3), 0); // nothing queued: returns at once

        device.send("12345");
        REQUIRE(gui.runUntil([&] { return log.rxCounts.size() >= 2; }));
        comm.PurgeInput();
        CHECK_EQ(comm.Read(got, 8), 0);

        CHECK_EQ(comm.Write("hello", 5), 5);
        CHECK_EQ(device.receive(5), std::string("hello"));

        comm.Close();
        CHECK(!comm.IsOpen());
        CHECK_EQ(comm.DeviceHandle(), std::intptr_t(-1));
        CHECK(!comm.EventThread());
        gui.runPending();
        log.rxCounts.clear();
    }
    CHECK(!log.wrongThread);
}

// Windows gives a port to one opener at a time; Wine does not keep a second one out.
TEST_CASE(secondOpenerIsRefused)
{
    PeerDevice device;
    TComm first, second;
    first.SetDeviceName(device.name());
    second.SetDeviceName(device.name());
    first.Open();
    bool refused = false;
    try {
        second.Open();
    } catch (const ECommError& e) {
        refused = true;
        CHECK_EQ(e.ErrorCode, int(ERROR_ACCESS_DENIED));
        CHECK_EQ(e.Kind, CommErrorKind::Busy);
        CHECK_EQ(std::string(e.what()), std::string("Error accessing specified device (Error: 5) "));
    }
    if (!refused) {
        // The component asked for no sharing; Wine hands the device out again anyway.
        CHECK(underWine());
        minitest::note("Wine quirk: a port held by one opener opened again (only Windows can show the refusal)");
        second.Close();
    }
    CHECK(!second.IsOpen());
    CHECK(first.IsOpen());

    first.Close();
    second.Open();
    CHECK(second.IsOpen());
}
