#pragma once
// A serial device with no port behind it, for what a pseudo-terminal cannot be made to
// do on cue: a system output buffer of a set size that the test empties onto the line
// by hand, writes that fail with a chosen kind of error, and a system that keeps no
// count of what it holds. Only output is played; input is always empty.
//
// Header only, so that tests and fuzz targets that link the serial port component can
// use it without more libraries.

#include "backend.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace qldixw::testing {

class ScriptedOutputDevice : public commport::backend::Device {
public:
    // What the system did with the bytes it was given, in order.
    struct Event {
        enum class Kind { Taken, Purged } kind;
        std::string bytes;
    };

    // The most bytes the system's buffer holds; a write takes what fits.
    std::size_t capacity = std::numeric_limits<std::size_t>::max();
    // Every write fails with this kind of error while it is not None.
    commport::CommErrorKind failure = commport::CommErrorKind::None;
    // Whether OutputQueued tells what the buffer holds, or says 0 as a pseudo-terminal does.
    bool countsOutput = true;

    std::string held; // taken, not on the line yet
    std::string line; // put on the line, in order
    std::vector<Event> events;

    // The system puts up to `count` held bytes on the line.
    void transmit(std::size_t count)
    {
        count = std::min(count, held.size());
        line += held.substr(0, count);
        held.erase(0, count);
    }

    std::ptrdiff_t Write(const void* buffer, std::size_t count,
                         commport::backend::SystemError& error) override
    {
        if (failure != commport::CommErrorKind::None) {
            error = {failure, failure == commport::CommErrorKind::Gone ? 5 : 28, "scripted failure"};
            return -1;
        }
        const std::size_t room = held.size() < capacity ? capacity - held.size() : 0;
        const std::size_t taken = std::min(count, room);
        const std::string bytes(static_cast<const char*>(buffer), taken);
        held += bytes;
        if (taken > 0)
            events.push_back({Event::Kind::Taken, bytes});
        return static_cast<std::ptrdiff_t>(taken);
    }

    std::size_t OutputQueued() override { return countsOutput ? held.size() : 0; }

    void PurgeOutput() override
    {
        events.push_back({Event::Kind::Purged, held});
        held.clear();
    }

    commport::backend::SystemError ApplySettings(const commport::backend::LineRequest&) override
    {
        return {};
    }
    std::ptrdiff_t Read(void*, std::size_t, commport::backend::SystemError&) override { return 0; }
    std::size_t InputQueued() override { return 0; }
    commport::backend::SystemError PurgeInput() override { return {}; }
    commport::LineErrorCounts ErrorCounts() override { return {}; }
    std::unique_ptr<commport::backend::EventWaiter>
    MakeWaiter(commport::backend::SystemError& error) override
    {
        error = {commport::CommErrorKind::Unsupported, -1, "no events without a port"};
        return nullptr;
    }
    std::intptr_t NativeHandle() const override { return -1; }
};

} // namespace qldixw::testing
