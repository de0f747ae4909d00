#pragma once
// Line error counters of a serial driver (framing, parity, overrun, break). A driver
// that keeps none (pseudo-terminals, many USB adapters) simply reports no errors.

#include <cstdint>

namespace commport {

struct LineErrorCounts {
    bool known = false; // false: the driver keeps no counters
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufferOverrun = 0;
};

// CE_* flags for the counters that grew from `before` to `now`.
std::uint32_t LineErrorFlags(const LineErrorCounts& before, const LineErrorCounts& now);

} // namespace commport
