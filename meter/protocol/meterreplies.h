#pragma once
// The meter's replies: what one reply window's bytes mean, given the code of the last
// read that went out, and where it is shown. Pure: the family applies the result.

#include "metercodes.h"
#include "readingvalue.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace meter {

struct Reading {
    Quantity quantity;
    // What the label shows: the characters 0-9 of the reading, in order; may be empty.
    QString digits;
    // The reading as the meter sent it, its decimal point included: what the history
    // keeps. Not a number when the characters are none.
    ReadingValue value;
};

struct SettingValue {
    int setting; // index into kSettings
    std::uint16_t value;
};

struct MeterAddress {
    std::uint8_t value;
    QString text;                   // two upper-case hex digits, for edit_adr_zap
    std::optional<int> controllerItem; // the item of the address list to select; -1 selects none
};

struct MeterReply {
    QStringList logLines;                // for Memo_log
    std::optional<QString> requestLogLine; // a one-byte answer, for the request log
    std::optional<Reading> reading;
    std::optional<SettingValue> setting;
    std::optional<MeterAddress> address;
};

// Decodes the bytes of one reply window. Empty: nothing came. Two bytes or more must
// end in their checksum. expectCmd: the code of the last read that went out.
MeterReply decodeReply(std::span<const std::uint8_t> reply, std::uint8_t expectCmd);

// The digits of a reading: the characters 0-9 among bytes 1 to 6. Only the bytes
// before the checksum count, so a short reply's checksum never becomes a digit.
QString readingDigits(std::span<const std::uint8_t> reply);
// The value of the same bytes read as a number: "220.51", " 5.120", "  1129".
ReadingValue readingValue(std::span<const std::uint8_t> reply);

// The sum of the three powers as their labels show them (digits only), in decimal;
// nothing when one of them is not a decimal integer (an empty label after a reply
// without digits), and the sum keeps what it showed.
std::optional<QString> powerSumText(const std::array<QString, 3>& powers);

} // namespace meter
