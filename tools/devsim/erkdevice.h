#pragma once
// The three-phase meter: voltage, current and power of each phase, fifteen
// correction and limit values, an indication mask and its own address on the line.

#include "framing.h"
#include "simdevice.h"

#include <array>
#include <cstdint>

namespace devsim {

class ErkDevice : public SimDevice {
public:
    static constexpr std::uint8_t kWritten = 0x00;
    static constexpr std::uint8_t kProgrammingError = 0xFF;
    // The address read goes to this address, whatever the meter's own.
    static constexpr std::uint8_t kAnyMeter = 0xF0;
    static constexpr std::uint8_t kReadAddress = 0x45;
    static constexpr std::uint8_t kWriteAddress = 0x41;
    static constexpr std::uint8_t kWriteIndication = 0x71;

    // Settings of one phase, in the meter's own units: corrections in percent,
    // voltage limits in volts, the current limit in amperes.
    struct Phase {
        std::uint16_t voltageCorrection = 100;
        std::uint16_t currentCorrection = 100;
        std::uint16_t voltageLow = 175;
        std::uint16_t voltageHigh = 253;
        std::uint16_t currentHigh = 10;
    };

    // refuseWrites: a meter whose memory cannot be programmed; every write gets FF.
    explicit ErkDevice(std::uint8_t address = 0x01, bool refuseWrites = false);

    std::uint8_t address() const { return m_address; }
    std::uint8_t indicationMask() const { return m_indication; }
    const Phase& phase(int number) const { return m_phases.at(std::size_t(number - 1)); }

    // Readings of a phase (1..3) after its corrections: hundredths of a volt,
    // thousandths of an ampere, watts.
    std::uint32_t voltage(int number) const;
    std::uint32_t current(int number) const;
    std::uint32_t power(int number) const;
    // A reading as its display shows it, six characters ("220.51", "  1129"); empty
    // for a code that is no reading.
    QByteArray reading(std::uint8_t code) const;

protected:
    Step parse(QByteArrayView pending, qint64 nowMs) override;

private:
    QByteArray readRequest(std::uint8_t code);
    std::uint8_t writeRequest(std::uint8_t code, QByteArrayView data);
    std::uint16_t* setting(std::uint8_t code);

    std::uint8_t m_address;
    bool m_refuseWrites;
    std::uint8_t m_indication = 0;
    std::array<Phase, 3> m_phases;
};

} // namespace devsim
