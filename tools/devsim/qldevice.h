#pragma once
// The memory controller: four areas of bytes (IR, ER, IM, IF) read and written one
// byte at a time. Every access is two-staged: the access preamble (a header frame
// with command 00, then the lone byte C0) is acknowledged with C0, and only then is
// one five-byte area request answered with three bytes.

#include "framing.h"
#include "simdevice.h"

#include <QHash>
#include <QList>
#include <array>
#include <cstdint>

namespace devsim {

class QlDevice : public SimDevice {
public:
    enum class Area { IR, ER, IM, IF };
    static constexpr int kAreaCount = 4;

    static constexpr std::uint8_t kAccess = 0xC0;
    static constexpr std::uint8_t kOk = 0x00;
    static constexpr std::uint8_t kError = 0xFF;

    // With the guard on, writes to ER are refused unless this bit of IR 000024 is set.
    static constexpr std::uint32_t kWriteEnableAddress = 0x000024;
    static constexpr int kErWriteEnableBit = 3;

    // One byte of one area.
    struct Cell {
        Area area = Area::IR;
        std::uint32_t address = 0;
        friend bool operator==(const Cell&, const Cell&) = default;
    };

    explicit QlDevice(AddressMatch addresses = {});

    // Refuse an ER write while the enable bit is clear, as a controller that insists
    // on the bracket does; off, every write inside an area is taken.
    void setErWriteGuard(bool on) { m_erWriteGuard = on; }
    // A byte the controller fails on: every request for it gets the error reply.
    void addBadCell(Cell cell) { m_badCells.append(cell); }

    // Size of each area: an address at or beyond it is answered with an error.
    static std::uint32_t areaSize(Area area);
    // A byte never written reads as the low byte of its address.
    std::uint8_t byte(Area area, std::uint32_t address) const;
    void setByte(Area area, std::uint32_t address, std::uint8_t value);

protected:
    Step parse(QByteArrayView pending, qint64 nowMs) override;

private:
    QByteArray areaRequest(QByteArrayView request);

    AddressMatch m_addresses;
    std::array<QHash<std::uint32_t, std::uint8_t>, kAreaCount> m_memory;
    bool m_requestAllowed = false; // the preamble was acknowledged
    bool m_erWriteGuard = false;
    QList<Cell> m_badCells;
};

} // namespace devsim
