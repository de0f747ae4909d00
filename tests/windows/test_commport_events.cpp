// The event thread on Windows: arriving bytes reach the handler on the GUI thread, in
// order and counted as the queue holds them; output the line cannot take is kept,
// bounded and dropped in time; closing while bytes pour in; a device that goes away.

#include "wincomm.h"

#include <algorithm>
#include <numeric>

using namespace wintest;
using namespace commport;
using namespace std::chrono_literals;

namespace {

std::string pattern(std::size_t size, int seed)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = char((i * 7 + std::size_t(seed) * 31) % 251);
    return s;
}

// Bytes waiting in the port's input queue, as the driver counts them.
std::size_t queuedInput(const TComm& comm)
{
    COMSTAT status{};
    DWORD errors = 0;
    if (!::ClearCommError(reinterpret_cast<HANDLE>(comm.DeviceHandle()), &errors, &status))
        return 0;
    return status.cbInQue;
}

} // namespace

// Every burst the device sends is read by the handler on the GUI thread, in order; the
// count it is given is what the queue holds when it runs, bursts that came before it
// ran included.
TEST_CASE(receiveEventsInOrderOnTheGuiThread)
{
    const struct {
        const char* row;
        std::size_t burst;
        std::size_t beforeHandling; // sent while the GUI thread does not pump
    } rows[] = {
        {"one burst", 10, 0},
        {"more before handling", 10, 5},
        {"large bursts", 3000, 1000},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        PeerDevice device;
        CallQueue gui;
        HandlerLog log;
        TComm comm;
        wire(comm, device, gui);
        log.attach(comm);
        comm.Open();

        const std::string first = pattern(row.burst, 1);
        device.send(first);
        // The thread hands the event over and waits for the GUI thread.
        REQUIRE(minitest::waitFor([&] { return gui.waiting() > 0; }, 10s));
        const std::string second = pattern(row.beforeHandling, 2);
        if (!second.empty()) {
            device.send(second);
            // The queue holds both before the handler runs.
            REQUIRE(minitest::waitFor([&] { return queuedInput(comm) == first.size() + second.size(); }, 10s));
        }
        REQUIRE(gui.runUntil([&] { return !log.rxCounts.empty(); }));
        CHECK_EQ(std::size_t(log.rxCounts.front()), first.size() + second.size());

        std::string got(std::size_t(log.rxCounts.front()), '\0');
        CHECK_EQ(comm.Read(got.data(), int(got.size())), int(got.size()));
        CHECK(got == first + second);

        // Later bursts, each read when its event comes.
        std::string more, expected;
        comm.OnRxChar = [&](TCustomComm* sender, int count) {
            log.note("rx:" + std::to_string(count));
            std::string chunk(std::size_t(count), '\0');
            const int n = sender->Read(chunk.data(), count);
            if (n > 0)
                more.append(chunk.data(), std::size_t(n));
        };
        for (int i = 0; i < 5; ++i) {
            const std::string burst = pattern(row.burst, 10 + i);
            expected += burst;
            device.send(burst);
        }
        CHECK(gui.runUntil([&] { return more.size() >= expected.size(); }, 10s));
        CHECK(more == expected);
        CHECK(!log.wrongThread);
        // Only arrival was reported: no other event kind.
        CHECK(std::all_of(log.calls.begin(), log.calls.end(),
                          [](const std::string& c) { return c.rfind("rx:", 0) == 0; }));
    }
}

// Bytes nobody reads wake the thread once; the next arrival wakes it again. (Wine ends a
// comm wait as long as anything is queued; the component must not turn that into a
// stream of events.)
TEST_CASE(unreadBytesAreAnnouncedOnce)
{
    PeerDevice device;
    CallQueue gui;
    HandlerLog log;
    TComm comm;
    wire(comm, device, gui);
    log.attach(comm);
    comm.Open();

    device.send("abcde");
    REQUIRE(gui.runUntil([&] { return log.rxCounts.size() == 1; }));
    CHECK_EQ(log.rxCounts.back(), 5);
    // Nothing more comes while nobody reads.
    gui.runFor(300ms);
    CHECK_EQ(log.rxCounts.size(), std::size_t(1));

    device.send("xyz");
    REQUIRE(gui.runUntil([&] { return log.rxCounts.size() == 2; }));
    CHECK_EQ(log.rxCounts.back(), 8);
    gui.runFor(300ms);
    CHECK_EQ(log.rxCounts.size(), std::size_t(2));
    char got[16] = {};
    CHECK_EQ(comm.Read(got, 16), 8);
    CHECK_EQ(std::string(got, 8), std::string("abcdexyz"));
}

TEST_CASE(writeKeepsEveryByteInOrder)
{
    using Sizes = std::vector<int>;
    const struct {
        const char* row;
        Sizes sizes;
    } rows[] = {
        {"small", {10}},
        {"larger than one write takes", {60000}},
        {"small after kept", {30000, 3, 20000, 1}},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        PeerDevice device;
        CallQueue gui;
        TComm comm;
        wire(comm, device, gui);
        comm.Open();
        std::string expected;
        for (std::size_t i = 0; i < row.sizes.size(); ++i) {
            const std::string chunk = pattern(std::size_t(row.sizes[i]), int(i));
            expected += chunk;
            const int result = comm.Write(chunk.data(), int(chunk.size()));
            CHECK(result == int(chunk.size()) || result == -1);
        }
        const std::string got = device.receive(expected.size(), 20s);
        CHECK_EQ(got.size(), expected.size());
        CHECK(got == expected);
    }
}

// What the line cannot take within the write time-out is dropped, reported once, and
// never reaches the device later.
TEST_CASE(unsentOutputExpires)
{
    PeerDevice device;
    device.stall();
    CallQueue gui;
    TComm comm;
    wire(comm, device, gui);
    std::vector<int> drops;
    bool wrongSender = false;
    comm.OnOutputDropped = [&](TCustomComm* sender, int bytes) {
        wrongSender = wrongSender || sender != &comm;
        drops.push_back(bytes);
    };
    comm.Open();

    const auto firstWrite = std::chrono::steady_clock::now();
    // Taken by the system (a write under way) or kept: either way not on the line.
    const int first = comm.Write(std::string(700, 'A').data(), 700);
    CHECK(first == 700 || first == -1);
    gui.runFor(1000ms);
    CHECK(drops.empty());
    CHECK_EQ(comm.Write(std::string(300, 'B').data(), 300), -1);
    REQUIRE(gui.runUntil([&] { return !drops.empty(); }, 5s));
    CHECK(std::chrono::steady_clock::now() - firstWrite >= kWriteTimeout);
    // Only the write whose time is up; the later one still has time.
    CHECK(drops == std::vector<int>{700});
    CHECK(!wrongSender);

    // The device reads again: none of the dropped bytes, the later write whole.
    device.unstall();
    const std::string got = device.receiveThrough(std::string(300, 'B'));
    CHECK_EQ(std::count(got.begin(), got.end(), 'A'), 0L);
    CHECK_EQ(std::count(got.begin(), got.end(), 'B'), 300L);
    CHECK(got.size() >= 300 && got.substr(got.size() - 300) == std::string(300, 'B'));

    // Sent in time, the later write is never reported.
    gui.runFor(1200ms);
    CHECK(drops == std::vector<int>{700});
    comm.Write("next", 4);
    CHECK_EQ(device.receive(4), std::string("next"));
}

// A write that does not fit is dropped whole and at once; what was kept expires later.
// On Windows the system takes one write's worth even from a stalled line (a write under
// way, commdevice.cpp): the component's bound is on what it keeps besides.
TEST_CASE(outputQueueIsBounded)
{
    const int limit = int(kOutputQueueLimit);
    const int systemTakes = 4096;
    using Sizes = std::vector<int>;
    const struct {
        const char* row;
        Sizes writes;
        Sizes droppedAtOnce; // 0: kept
    } rows[] = {
        {"exactly the bound", {limit}, {0}},
        {"one byte over the bound", {limit + 1}, {limit + 1}},
        {"more than the room left",
         {limit / 2, limit / 2 + systemTakes + 1, limit / 2},
         {0, limit / 2 + systemTakes + 1, 0}},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        PeerDevice device;
        device.stall();
        CallQueue gui;
        TComm comm;
        wire(comm, device, gui);
        std::vector<int> drops;
        comm.OnOutputDropped = [&](TCustomComm*, int bytes) { drops.push_back(bytes); };
        comm.Open();

        int kept = 0;
        std::vector<int> expected;
        for (std::size_t i = 0; i < row.writes.size(); ++i) {
            const std::string chunk(std::size_t(row.writes[i]), 'K');
            CHECK_EQ(comm.Write(chunk.data(), row.writes[i]), -1);
            // Reported through the GUI queue, never from inside Write.
            CHECK(drops == expected);
            gui.runPending();
            if (row.droppedAtOnce[i] > 0)
                expected.push_back(row.droppedAtOnce[i]);
            else
                kept += row.writes[i];
            CHECK(drops == expected);
        }
        comm.HandleEvents(comm.EventThread(), 0);
        CHECK_EQ(int(comm.LineStatus().OutQueue), kept);

        const std::size_t atOnce = drops.size();
        const auto keptDropped = [&] { return std::accumulate(drops.begin() + long(atOnce), drops.end(), 0); };
        CHECK(gui.runUntil([&] { return keptDropped() >= kept; }, 5s));
        CHECK_EQ(keptDropped(), kept);
        comm.HandleEvents(comm.EventThread(), 0);
        CHECK_EQ(comm.LineStatus().OutQueue, 0u);

        // Behind nothing that was dropped.
        device.unstall();
        comm.Write("fresh", 5);
        const std::string got = device.receiveThrough("fresh");
        CHECK_EQ(std::count(got.begin(), got.end(), 'K'), 0L);
        CHECK(got.size() >= 5 && got.substr(got.size() - 5) == "fresh");
    }
}

// Closing while bytes pour in ends the thread promptly and delivers nothing after Close.
TEST_CASE(closeWhileFlooding)
{
    enum class When { RightAfterOpen, AfterSomeEvents, FromHandler, WithDeliveryWaiting };
    const struct {
        const char* row;
        When when;
    } rows[] = {
        {"right after open", When::RightAfterOpen},
        {"after some events", When::AfterSomeEvents},
        {"from the handler", When::FromHandler},
        {"delivery waiting", When::WithDeliveryWaiting},
    };
    PeerDevice device;
    device.flood(true);
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        CallQueue gui;
        TComm comm;
        wire(comm, device, gui);
        int events = 0;
        bool handlerAfterClose = false;
        bool closeNow = false;
        comm.OnRxChar = [&](TCustomComm* sender, int count) {
            if (!sender->IsOpen())
                handlerAfterClose = true;
            ++events;
            std::string sink(std::size_t(count > 0 ? count : 1), '\0');
            sender->Read(sink.data(), count);
            if (closeNow) {
                sender->Close();
                CHECK(!sender->IsOpen());
            }
        };
        const int rounds = 20;
        for (int round = 0; round < rounds; ++round) {
            comm.Open();
            switch (row.when) {
            case When::RightAfterOpen:
                break;
            case When::AfterSomeEvents: {
                const int until = events + 3;
                REQUIRE(gui.runUntil([&] { return events >= until; }, 10s));
                break;
            }
            case When::FromHandler:
                closeNow = true;
                REQUIRE(gui.runUntil([&] { return !comm.IsOpen(); }, 10s));
                closeNow = false;
                break;
            case When::WithDeliveryWaiting:
                // Not pumped: the thread stays blocked on its hand-over until Close.
                REQUIRE(minitest::waitFor([&] { return gui.waiting() > 0; }, 10s));
                break;
            }
            comm.Close();
            CHECK(!comm.IsOpen());
            CHECK(!comm.EventThread());
            const int closedAt = events;
            gui.runPending();
            CHECK_EQ(events, closedAt); // nothing delivered after Close returned
        }
        CHECK(!handlerAfterClose);
        if (row.when != When::RightAfterOpen)
            CHECK(events >= rounds);
    }
    device.flood(false);
}

// The device goes away (its link removed, the pseudo-terminal closed): reported once,
// the port closed; its name leads nowhere until a device is back under it.
TEST_CASE(deviceLost)
{
    enum class While { Idle, BytesUnread, DeliveryWaiting, OutputKept };
    const struct {
        const char* row;
        While state;
    } rows[] = {
        {"idle", While::Idle},
        {"bytes unread", While::BytesUnread},
        {"delivery waiting", While::DeliveryWaiting},
        {"output kept", While::OutputKept},
    };
    for (const auto& row : rows) {
        minitest::Row r(row.row);
        PeerDevice device;
        CallQueue gui;
        HandlerLog log;
        TComm comm;
        wire(comm, device, gui);
        log.attach(comm);
        comm.Open();

        switch (row.state) {
        case While::Idle:
            break;
        case While::BytesUnread:
            device.send("abcd");
            REQUIRE(gui.runUntil([&] { return !log.rxCounts.empty(); }));
            break;
        case While::DeliveryWaiting:
            device.send("abcd");
            REQUIRE(minitest::waitFor([&] { return gui.waiting() > 0; }, 10s));
            break;
        case While::OutputKept: {
            device.stall();
            const std::string big = pattern(48 * 1024, 4);
            CHECK_EQ(comm.Write(big.data(), int(big.size())), -1);
            break;
        }
        }
        device.unplug();

        REQUIRE(gui.runUntil([&] { return log.lost > 0; }, 10s));
        CHECK(!comm.IsOpen());
        CHECK(!comm.EventThread());
        CHECK(!log.lostSawOpenPort);
        gui.runFor(200ms);
        CHECK_EQ(log.lost, 1);
        CHECK_EQ(log.calls.back(), std::string("lost"));
        CHECK(!log.wrongThread);

        // While the device is away its name leads nowhere.
        try {
            comm.Open();
            CHECK(!"opened a vanished device");
        } catch (const ECommError& e) {
            CHECK_EQ(e.ErrorCode, int(ERROR_FILE_NOT_FOUND));
            CHECK_EQ(e.Kind, CommErrorKind::NotFound);
        }
        CHECK(!comm.IsOpen());

        // The device is back under the same name.
        device.replug();
        log.rxCounts.clear();
        comm.Open();
        device.send("ok");
        REQUIRE(gui.runUntil([&] { return !log.rxCounts.empty(); }));
        CHECK_EQ(log.rxCounts.back(), 2);
        CHECK_EQ(comm.Write("back", 4), 4);
        CHECK_EQ(device.receive(4), std::string("back"));
        CHECK_EQ(log.lost, 1);
    }
}

// What Wine's serial emulation does with the calls the backend relies on, checked on the
// Win32 calls themselves. Where Wine differs from Windows the test says so; the backend
// works with both.
TEST_CASE(waitCommEventAndQueueCounts)
{
    PeerDevice device;
    const HANDLE port = ::CreateFileA(device.path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    REQUIRE(port != INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    CHECK(::SetCommTimeouts(port, &timeouts));
    CHECK(::SetCommMask(port, EV_RXCHAR));
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD mask = 0, ignored = 0;

    // Nothing queued: Windows keeps the wait until a byte comes.
    if (!::WaitCommEvent(port, &mask, &ov)) {
        CHECK_EQ(::GetLastError(), DWORD(ERROR_IO_PENDING));
        const DWORD waited = ::WaitForSingleObject(ov.hEvent, 500);
        if (waited == WAIT_OBJECT_0) {
            const BOOL ok = ::GetOverlappedResult(port, &ov, &ignored, FALSE);
            const DWORD error = ok ? 0 : ::GetLastError();
            CHECK(underWine());
            minitest::note("Wine quirk: a wait with nothing queued ended at once (result " + std::to_string(ok) +
                           ", error " + std::to_string(error) + ", mask " + std::to_string(mask) + ")");
        } else {
            CHECK_EQ(waited, DWORD(WAIT_TIMEOUT));
            // Ended by a new mask, as the backend ends it when closing.
            ::SetCommMask(port, EV_RXCHAR);
            ::CancelIoEx(port, &ov);
            CHECK_EQ(::WaitForSingleObject(ov.hEvent, 5000), DWORD(WAIT_OBJECT_0));
        }
    } else {
        CHECK(!"a wait with nothing queued ended at once with a mask");
    }

    // Bytes queued: the count is right once they are there, and a wait reports them.
    device.send("hello");
    COMSTAT status{};
    DWORD errors = 0;
    CHECK(minitest::waitFor([&] { return ::ClearCommError(port, &errors, &status) && status.cbInQue == 5; }, 5s));
    CHECK_EQ(status.cbInQue, DWORD(5));
    mask = 0;
    ::ResetEvent(ov.hEvent);
    BOOL ended = ::WaitCommEvent(port, &mask, &ov);
    if (!ended && ::GetLastError() == ERROR_IO_PENDING) {
        // Windows: pending until the next byte, as EV_RXCHAR means a byte came.
        const DWORD waited = ::WaitForSingleObject(ov.hEvent, 500);
        CHECK(waited == WAIT_TIMEOUT || underWine());
        ::SetCommMask(port, EV_RXCHAR);
        ::CancelIoEx(port, &ov);
        ::WaitForSingleObject(ov.hEvent, 5000);
    } else {
        // Wine: ends at once as long as anything is queued.
        CHECK(underWine());
        CHECK_EQ(mask, DWORD(EV_RXCHAR));
        minitest::note("Wine quirk: a wait ends at once while bytes are queued, though none came since");
    }
    ::CloseHandle(ov.hEvent);
    ::CloseHandle(port);
}
