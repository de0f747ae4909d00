#pragma once
// The value types of the serial port component: line settings, options, event kinds and
// the small bit sets built from them. The order of every enumeration is significant: the
// event kinds are dispatched in declaration order and the sets keep one bit per value.

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace commport {

enum class TBaudRate : std::uint8_t {
    cbr110, cbr300, cbr600, cbr1200, cbr2400, cbr4800, cbr9600, cbr14400, cbr19200,
    cbr38400, cbr56000, cbr57600, cbr115200, cbr128000, cbr256000
};

enum class TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum class TStopbits : std::uint8_t { sb10, sb15, sb20 };
enum class TDatabits : std::uint8_t { da4, da5, da6, da7, da8 };
enum class TFlowControl : std::uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };

enum class TCommOption : std::uint8_t {
    coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip
};

enum class TCommEventState : std::uint8_t {
    evBreak, evCTS, evDSR, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty
};

// Line speed in bit/s: the number in the value's name.
unsigned BaudRateValue(TBaudRate rate);

// Data bits per character, 4 to 8.
inline int DatabitsValue(TDatabits bits) { return 4 + static_cast<int>(bits); }

// Event bits as the event thread reports them in its mask. The values are those of the
// other platform's serial layer, so a mask means the same thing on every backend.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;

// Error flags as reported to OnError (the same values on every backend).
inline constexpr std::uint32_t CE_RXOVER = 0x0001;   // input queue overflow
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;  // hardware overrun
inline constexpr std::uint32_t CE_RXPARITY = 0x0004; // parity error
inline constexpr std::uint32_t CE_FRAME = 0x0008;    // framing error
inline constexpr std::uint32_t CE_BREAK = 0x0010;    // break condition

std::uint32_t EventBit(TCommEventState state);

// Every event kind, in dispatch order.
inline constexpr TCommEventState kAllEventStates[] = {
    TCommEventState::evBreak, TCommEventState::evCTS,    TCommEventState::evDSR,
    TCommEventState::evError, TCommEventState::evRing,   TCommEventState::evRlsd,
    TCommEventState::evRxChar, TCommEventState::evRxFlag, TCommEventState::evTxEmpty,
};

// A set of enumeration values, one bit per value.
template <class E>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values)
    {
        for (E v : values)
            bits_ |= bit(v);
    }
    static constexpr TEnumSet FromBits(std::uint32_t bits)
    {
        TEnumSet s;
        s.bits_ = bits;
        return s;
    }

    constexpr bool Contains(E v) const { return (bits_ & bit(v)) != 0; }
    constexpr void Include(E v) { bits_ |= bit(v); }
    constexpr void Exclude(E v) { bits_ &= ~bit(v); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint32_t Bits() const { return bits_; }

    friend constexpr bool operator==(TEnumSet, TEnumSet) = default;
    friend constexpr TEnumSet operator|(TEnumSet a, TEnumSet b) { return FromBits(a.bits_ | b.bits_); }

private:
    static constexpr std::uint32_t bit(E v)
    {
        return std::uint32_t{1} << static_cast<std::underlying_type_t<E>>(v);
    }
    std::uint32_t bits_ = 0;
};

using TCommEventType = TEnumSet<TCommEventState>;
using TCommOptions = TEnumSet<TCommOption>;

// The nine event kinds.
TCommEventType AllCommEvents();

// Everything the line carries, as one record: the component puts it on the line in one
// step, so a change of several values is taken whole or not at all. The defaults are
// those of a component just made.
struct TLineSettings {
    TBaudRate BaudRate = TBaudRate::cbr9600;
    TParity Parity = TParity::paNone;
    TStopbits Stopbits = TStopbits::sb10;
    TDatabits Databits = TDatabits::da8;
    TFlowControl FlowControl = TFlowControl::fcDefault;
    TCommOptions Options;
    // The handshake characters of fcSoftware.
    std::uint8_t XonChar = 0x11;
    std::uint8_t XoffChar = 0x13;

    friend bool operator==(const TLineSettings&, const TLineSettings&) = default;
};

// The OR of the event bits of the members of `events`.
std::uint32_t EventMaskOf(TCommEventType events);

} // namespace commport
