#pragma once
// What the meter is asked for: the nine readings and the fifteen settings, each with
// its request codes and the control that shows it. One table each, in the order the
// poll and the read-all and write-all sequences go through them.

#include "readingquantity.h"

#include <array>
#include <cstdint>
#include <optional>

namespace meter {

struct QuantityInfo {
    Quantity quantity;
    std::uint8_t code;     // the read request's code
    const char* rowCaption;
};

// The measured quantities; the panel's labels are named by labelName().
inline constexpr std::array<QuantityInfo, kMeasuredCount> kQuantities{{
    {Quantity::V1, 0x91, "V1"},
    {Quantity::V2, 0x92, "V2"},
    {Quantity::V3, 0x93, "V3"},
    {Quantity::A1, 0xA1, "А1"},
    {Quantity::A2, 0xA2, "А2"},
    {Quantity::A3, 0xA3, "А3"},
    {Quantity::W1, 0x81, "w1"},
    {Quantity::W2, 0x82, "w2"},
    {Quantity::W3, 0x83, "w3"},
}};

// A measured quantity's codes; the sum has none.
inline constexpr const QuantityInfo& quantityInfo(Quantity q) { return kQuantities.at(quantityIndex(q)); }

// The reading a read request's code asks for.
std::optional<Quantity> quantityForCode(std::uint8_t code);

// The fifteen 16-bit settings: voltage corrections, lower and upper voltage limits,
// current corrections and upper current limits, each for phases 1 to 3.
inline constexpr int kSettingCount = 15;

struct SettingInfo {
    const char* field;      // the entry field
    const char* defaultText;
    const char* readButton; // "R"
    const char* writeButton; // "W"
    std::uint8_t readCode;  // the write code plus 4
    // The frame text between the address and the value. The current correction of
    // phase 1 has its blank before the "*": the bytes are the same, the log line not.
    const char* writeMiddle;
};

inline constexpr std::array<SettingInfo, kSettingCount> kSettings{{
    {"v_kor_edit1", "100", "readk_v1", "v_k1", 0x35, " 31* "},
    {"v_kor_edit2", "100", "readk_v2", "v_k2", 0x36, " 32* "},
    {"v_kor_edit3", "100", "readk_v3", "v_k3", 0x37, " 33* "},
    {"Edit4", "175", "Button10", "Button11", 0x05, " 01* "},
    {"Edit5", "175", "Button12", "Button13", 0x06, " 02* "},
    {"Edit6", "175", "Button14", "Button15", 0x07, " 03* "},
    {"Edit7", "253", "Button16", "Button17", 0x15, " 11* "},
    {"Edit8", "253", "Button18", "Button19", 0x16, " 12* "},
    {"Edit9", "253", "Button20", "Button21", 0x17, " 13* "},
    {"a_kor_edit1", "100", "readk_a1", "a_k1", 0x25, " 21 *"},
    {"a_kor_edit2", "100", "readk_a2", "a_k2", 0x26, " 22* "},
    {"a_kor_edit3", "100", "readk_a3", "a_k3", 0x27, " 23* "},
    {"Edit1", "10", "Button4", "Button5", 0x55, " 51* "},
    {"Edit2", "10", "Button6", "Button7", 0x56, " 52* "},
    {"Edit3", "10", "Button8", "Button9", 0x57, " 53* "},
}};

// The setting (index into kSettings) a read request's code asks for.
std::optional<int> settingForReadCode(std::uint8_t code);

// The buttons the poll disables while it runs: the R and W buttons of the
// corrections (settings 1-3 and 10-12); the limits stay usable.
inline constexpr bool lockedWhilePolling(int setting)
{
    return (setting >= 0 && setting <= 2) || (setting >= 9 && setting <= 11);
}

// The meter's own codes.
inline constexpr std::uint8_t kReadAddressCode = 0x45;
inline constexpr std::uint8_t kWriteAddressCode = 0x41;
inline constexpr std::uint8_t kWriteIndicationCode = 0x71;
inline constexpr int kIndicationChannels = 8;

} // namespace meter
