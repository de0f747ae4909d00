#pragma once
// The frame texts of the meter's requests, and the rules for what the operator types
// into its fields. The address in a text is the controller address as it goes into a
// frame (two hex digits, see transport::frameAddressText).

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace meter {

// A read of one quantity or setting: "60 " + address + code + "*", no blank between
// the address and the code. The address read goes to F0 whatever the address, since
// the meter's own address is what it asks for.
QString readRequestText(const QString& address, const QString& code);
QString readRequestText(const QString& address, std::uint8_t code);

// A setting written in two frames: the header and the value, high byte first.
QString settingWriteText(const QString& address, int setting, std::uint16_t value);
// The indication mask in two frames: the header (code 71) and the mask byte.
QString indicationWriteText(const QString& address, std::uint8_t mask);
// The meter's new address in two frames: the header (code 41) and the address byte.
QString addressWriteText(const QString& address, const QString& newAddress);

// Bit k set when channel k is on.
std::uint8_t indicationMask(const std::array<bool, 8>& channels);

// A whole number written in the digits 0-9 only (no sign, no blank) and at most
// 'limit'; nothing for any other text.
std::optional<std::uint64_t> decimalNumber(QStringView digits, std::uint64_t limit);

// A setting field's text as the value to write: a decimal integer from 0 to 65535
// (blanks around it are allowed). Anything else cannot be written: it would not fit
// the two bytes of the data frame.
std::optional<std::uint16_t> settingValue(const QString& text);
// Why a field's text was not written, naming the setting, the text and the range.
QString settingValueError(int setting, const QString& text);
// What the setting is, for the operator: "Нижний предел напряжения, фаза 1".
QString settingTitle(int setting);

// The meter's new address as typed: one or two hex digits from 01 to 7F, padded to
// two. An address outside the controller address list could not be selected again,
// so the meter could not be reached after the change.
std::optional<QString> newMeterAddress(const QString& typed);
QString newMeterAddressError(const QString& typed);

// The line added when a write was composed while a reply is still awaited: the line
// refuses it, and the log must not read as if it went out.
QString notSentWhileBusyLine();

} // namespace meter
