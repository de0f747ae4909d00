#pragma once
// The frame text of the memory exchange and the bits it changes. Every access is
// two-staged: the access preamble (a header frame with its checksum, then the lone
// byte C0) must be acknowledged with C0 before one area request may follow.

#include <QString>
#include <cstdint>

namespace memory {

// "60" + address + "00*C0": the header frame and the lone C0. The address is the
// two-digit text a frame carries.
QString preambleText(const QString& frameAddress);

// Command code, six address digits and two value digits: five bytes, no checksum.
QString areaRequestText(const QString& code, const QString& address, const QString& value);

// The acknowledgement of the preamble, and the third reply byte that reports an error.
inline constexpr std::uint8_t kAccessAcknowledge = 0xC0;
inline constexpr std::uint8_t kErrorReply = 0xFF;
// The value field of a read the controller refused.
inline const QString kReadErrorValue = QStringLiteral("er");

// v with bit `bit` set; v with bit `bit` inverted. `bit` is 0..7.
constexpr std::uint8_t zambitchten(std::uint8_t v, int bit)
{
    return static_cast<std::uint8_t>(v | (1u << bit));
}
constexpr std::uint8_t zambitchten2(std::uint8_t v, int bit)
{
    return static_cast<std::uint8_t>(v ^ (1u << bit));
}

// The emulation switch and the guard of every ER write: bits of two fixed bytes.
inline const QString kEmulationIrAddress = QStringLiteral("000024");
inline constexpr int kEmulationIrBit = 6;
inline const QString kEmulationErAddress = QStringLiteral("010041");
inline constexpr int kEmulationErBit = 7;
inline const QString kErGuardAddress = QStringLiteral("000024");
inline constexpr int kErGuardBit = 3;

// An area pane's line for a reply: the field's text and the three bytes.
QString paneLine(const QString& fieldText, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);

// Messages in the area panes.
inline const QString kBitAlreadySet = QStringLiteral("Бит уже установлен");
inline const QString kTwoBlanks = QStringLiteral("Ошибка пробел");
// An ER write chain stopped between setting its guard bit and clearing it again.
inline const QString kErGuardLeftSet = QStringLiteral("Бит 3 IR 000024 остался установлен: запись в ER разрешена");
// A bit number typed into a bit box that names no bit of a byte.
QString badBitNumberLine(const QString& typed);

} // namespace memory
