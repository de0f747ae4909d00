#pragma once
// Where the memory exchange stands: which request waits for the controller, what the
// chain of a bit replacement, a guarded ER write or an emulation switch does next.

#include "memoryarea.h"

#include <QString>
#include <array>

namespace memory {

// What the exchange expects from the line. A request that sends its preamble waits
// for the acknowledgement, whatever started it; the acknowledgement sends the area
// request, whose three-byte reply ends the exchange (or starts the next one).
enum class ExchangePhase { Idle, AwaitingAck, AwaitingReply };

struct MemoryExchangeState {
    // Set when an area's request is built, cleared when its reply is handled; after a
    // request is built exactly one of the eight is set.
    std::array<bool, MemoryAreaCount> readPending{};
    std::array<bool, MemoryAreaCount> writePending{};
    // The area request waiting for the acknowledgement, e.g. "C8" "000024" "00".
    std::array<QString, MemoryAreaCount> areaRequest;
    // The address of the area's last write: its read-back and bit replacements use it.
    std::array<QString, MemoryAreaCount> writeAddress;
    // The last preamble, sent again for the read-back after a write.
    QString preambleText;
    ExchangePhase phase = ExchangePhase::Idle;

    // A bit replacement of an IR / ER byte waits for the byte's read.
    bool bitReplaceIR = false;
    bool bitReplaceER = false;
    int bitIndex = 0;
    bool bitTarget = false;
    // An ER write waits while bit 3 of IR 000024 is set for it.
    bool erWriteUnlocking = false;
    // Bit 3 was set for the ER write: write now, and clear the bit after the read-back.
    bool erWriteResume = false;
    // The write that sets bit 3 for an ER write went out, and no read of IR 000024 has
    // shown the bit clear since: a chain that stops now leaves the controller taking
    // ER writes, and the operator is told so.
    bool erGuardRaised = false;

    // The steps of switching emulation on or off.
    bool emulationOnRequested = false;
    bool emulationOnErStep = false;
    bool emulationOffRequested = false;
    bool emulationOffErStep = false;

    bool anyPending() const
    {
        for (int area = 0; area < MemoryAreaCount; ++area)
            if (readPending[area] || writePending[area])
                return true;
        return false;
    }
};

} // namespace memory
