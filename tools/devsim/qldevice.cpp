#include "qldevice.h"

#include <optional>

namespace devsim {

namespace {

constexpr qsizetype kPreambleSize = 5; // header frame and the lone C0
constexpr qsizetype kAreaRequestSize = 5;

struct AreaCode {
    QlDevice::Area area;
    bool write;
};

std::optional<AreaCode> areaCode(std::uint8_t code)
{
    switch (code) {
    case 0xC8: return AreaCode{QlDevice::Area::IR, false};
    case 0xC9: return AreaCode{QlDevice::Area::IR, true};
    case 0xCA: return AreaCode{QlDevice::Area::ER, false};
    case 0xCB: return AreaCode{QlDevice::Area::ER, true};
    case 0xC4: return AreaCode{QlDevice::Area::IM, false};
    case 0xC5: return AreaCode{QlDevice::Area::IM, true};
    case 0xCC: return AreaCode{QlDevice::Area::IF, false};
    case 0xCD: return AreaCode{QlDevice::Area::IF, true};
    default: return std::nullopt;
    }
}

} // namespace

QlDevice::QlDevice(AddressMatch addresses) : m_addresses(addresses) {}

std::uint32_t QlDevice::areaSize(Area area)
{
    return area == Area::ER ? 0x020000 : 0x010000;
}

std::uint8_t QlDevice::byte(Area area, std::uint32_t address) const
{
    return m_memory[std::size_t(area)].value(address, std::uint8_t(address & 0xFF));
}

void QlDevice::setByte(Area area, std::uint32_t address, std::uint8_t value)
{
    m_memory[std::size_t(area)].insert(address, value);
}

SimDevice::Step QlDevice::parse(QByteArrayView pending, qint64)
{
    const std::uint8_t first = byteAt(pending, 0);
    if (m_requestAllowed && areaCode(first)) {
        if (pending.size() < kAreaRequestSize)
            return {};
        m_requestAllowed = false;
        const QByteArrayView request = pending.first(kAreaRequestSize);
        return answer(request, areaRequest(request));
    }
    if (first != kFrameStart) {
        const qsizetype run = strayRun(pending, [this](std::uint8_t b) {
            return b == kFrameStart || (m_requestAllowed && areaCode(b));
        });
        return drop(pending.first(run), m_requestAllowed ? QStringLiteral("not a request start")
                                                         : QStringLiteral("no access preamble before it"));
    }
    Header header;
    if (const std::optional<Step> instead = takeHeader(pending, header))
        return *instead;
    if (header.code != 0x00)
        return drop(header.bytes, QStringLiteral("not an access preamble"));
    if (pending.size() < kPreambleSize)
        return {};
    if (byteAt(pending, kHeaderSize) != kAccess)
        return drop(header.bytes, QStringLiteral("access preamble without its C0"));
    const QByteArrayView preamble = pending.first(kPreambleSize);
    m_requestAllowed = m_addresses.accepts(header.address);
    if (!m_requestAllowed)
        return ignore(preamble, QStringLiteral("another address"));
    return answer(preamble, QByteArray(1, char(kAccess)));
}

QByteArray QlDevice::areaRequest(QByteArrayView request)
{
    const std::uint8_t code = byteAt(request, 0);
    const AreaCode target = *areaCode(code);
    const std::uint32_t address = std::uint32_t(byteAt(request, 1)) << 16
        | std::uint32_t(byteAt(request, 2)) << 8 | byteAt(request, 3);
    QByteArray reply(1, char(code));
    if (address >= areaSize(target.area) || m_badCells.contains(Cell{target.area, address}))
        return reply.append('\0').append(char(kError));

    if (target.write) {
        const bool erLocked = m_erWriteGuard && target.area == Area::ER
            && !(byte(Area::IR, kWriteEnableAddress) & (1u << kErWriteEnableBit));
        if (erLocked)
            return reply.append(char(byte(target.area, address))).append(char(kError));
        setByte(target.area, address, byteAt(request, 4));
    }
    return reply.append(char(byte(target.area, address))).append(char(kOk));
}

} // namespace devsim
