#pragma once
// Frame helpers shared by the simulated devices: checksum test and closing, and
// which controller addresses a device answers.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

namespace devsim {

// The header byte every addressed request starts with.
inline constexpr std::uint8_t kFrameStart = 0x60;

inline std::uint8_t byteAt(QByteArrayView bytes, qsizetype i)
{
    return static_cast<std::uint8_t>(bytes[i]);
}

// True when the last byte is the checksum of all the bytes before it.
// A frame of fewer than two bytes carries no checksum and is never good.
bool checksumOk(QByteArrayView frame);

// The bytes followed by their checksum.
QByteArray closeFrame(QByteArray bytes);

// The addresses a device answers: one address, or every controller address 01..7F.
class AddressMatch {
public:
    AddressMatch() = default;
    explicit AddressMatch(std::uint8_t only) : m_only(only) {}
    bool accepts(std::uint8_t address) const
    {
        return m_only ? address == *m_only : address >= 0x01 && address <= 0x7F;
    }
    std::optional<std::uint8_t> only() const { return m_only; }

private:
    std::optional<std::uint8_t> m_only;
};

} // namespace devsim
