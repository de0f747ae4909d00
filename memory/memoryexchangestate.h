#pragma once
// Where the memory exchange stands: which request waits for the controller, and the
// step a chain (a bit replacement, a guarded ER write, an emulation switch) is at.

#include "memoryarea.h"

#include <QString>
#include <array>
#include <optional>
#include <variant>

namespace memory {

// What the exchange expects from the line. A request that sends its preamble waits
// for the acknowledgement, whatever started it; the acknowledgement sends the area
// request, whose three-byte reply ends the exchange (or starts the next one).
enum class ExchangePhase { Idle, AwaitingAck, AwaitingReply };

// The one area request under way: built, then sent after the acknowledgement, then
// answered. A write's reply turns it into the read-back of the same address.
struct PendingRequest {
    MemoryArea area;
    bool write;
    // The frame text waiting for the acknowledgement, e.g. "C8" "000024" "00"; empty
    // once it went out.
    QString text;
};

// A bit of a byte to be given a value: the byte is read, and written only if the bit
// differs.
struct BitChange {
    int bit;
    bool target;
};

// The steps of a chain, each named for what its next exchange decides. A chain moves
// on only when a read it made is answered; everything the operator starts gives it up.
namespace chain {

// No chain: the requests are the operator's own.
struct None {};

// The operator's IR bit replacement: the byte's read is awaited.
struct IrBitRead {
    BitChange change;
};

// Emulation on or off, its IR step: the read of IR 000024, whose bit 6 is set or cleared.
struct EmulationIrRead {
    bool on;
};
// The IR step wrote bit 6; after the write's read-back the ER step starts.
struct EmulationIrWritten {
    bool on;
};

// An ER bit replacement (the operator's, or the ER step of emulation): the byte's
// read is awaited. Its write goes out under the guard.
struct ErBitRead {
    BitChange change;
};

// The guard of an ER write, bit 3 of IR 000024, is set before the write and cleared
// after its read-back. `raised`: the write that set the bit went out and no read has
// shown it clear since, so a chain that stops here leaves the controller taking ER
// writes and the operator is told so.

// The ER write waits: IR 000024 is read to set bit 3. Were the bit already 1, the
// write goes out at once and the bit is left as it was.
struct GuardRead {};
// Bit 3 was written; after the write's read-back the ER write goes out.
struct GuardWritten {
    bool raised;
};
// The ER write went out; after its read-back IR 000024 is read again to clear bit 3.
struct GuardedErWrite {
    bool raised;
};
// IR 000024 is read to clear bit 3.
struct GuardClearRead {
    bool raised;
};
// Bit 3 was written clear; its read-back ends the chain.
struct GuardClearWritten {
    bool raised;
};

} // namespace chain

using ChainStep = std::variant<chain::None, chain::IrBitRead, chain::EmulationIrRead, chain::EmulationIrWritten,
                               chain::ErBitRead, chain::GuardRead, chain::GuardWritten, chain::GuardedErWrite,
                               chain::GuardClearRead, chain::GuardClearWritten>;

struct MemoryExchangeState {
    std::optional<PendingRequest> pending;
    // The address of the area's last write: its read-back and bit replacements use it.
    std::array<QString, MemoryAreaCount> writeAddress;
    // The last preamble, sent again for the read-back after a write.
    QString preambleText;
    ExchangePhase phase = ExchangePhase::Idle;
    ChainStep chain;
};

} // namespace memory
