#include "codepage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace transport {

namespace {

using HighHalf = std::array<char16_t, 128>;

constexpr HighHalf kWindows1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

constexpr HighHalf kCp866 = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // 98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // E8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0, // F8
};

// The high half turned round: (character, byte) pairs in the characters' order.
using Reverse = std::array<std::pair<char16_t, unsigned char>, 128>;

constexpr Reverse reversed(const HighHalf& table)
{
    Reverse pairs{};
    for (std::size_t i = 0; i < table.size(); ++i)
        pairs[i] = {table[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

constexpr Reverse kWindows1251Reverse = reversed(kWindows1251);
constexpr Reverse kCp866Reverse = reversed(kCp866);

const HighHalf& highHalf(CodePage page)
{
    return page == CodePage::Windows1251 ? kWindows1251 : kCp866;
}

const Reverse& reverse(CodePage page)
{
    return page == CodePage::Windows1251 ? kWindows1251Reverse : kCp866Reverse;
}

} // namespace

void appendDecoded(CodePage page, QByteArrayView bytes, QString& out)
{
    const HighHalf& high = highHalf(page);
    const qsizetype start = out.size();
    out.resize(start + bytes.size());
    QChar* to = out.data() + start;
    for (const char byte : bytes) {
        const auto b = static_cast<std::uint8_t>(byte);
        *to++ = QChar(b < 0x80 ? char16_t(b) : high[b - 0x80]);
    }
}

QString decoded(CodePage page, QByteArrayView bytes)
{
    QString out;
    appendDecoded(page, bytes, out);
    return out;
}

std::optional<unsigned char> encodedByte(CodePage page, char32_t character)
{
    if (character < 0x80)
        return static_cast<unsigned char>(character);
    if (character > 0xFFFF)
        return std::nullopt;
    const Reverse& pairs = reverse(page);
    const auto found = std::lower_bound(pairs.begin(), pairs.end(), char16_t(character),
                                        [](const auto& pair, char16_t c) { return pair.first < c; });
    if (found == pairs.end() || found->first != character)
        return std::nullopt;
    return found->second;
}

void appendEncoded(CodePage page, QStringView text, QByteArray& out, qsizetype& substituted)
{
    out.reserve(out.size() + text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            out.append(char(unit));
            continue;
        }
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i; // one character, and no single-byte page has it
        const std::optional<unsigned char> byte = QChar::isSurrogate(unit) ? std::nullopt : encodedByte(page, unit);
        if (byte) {
            out.append(char(*byte));
        } else {
            out.append('?');
            ++substituted;
        }
    }
}

QByteArray encoded(CodePage page, QStringView text)
{
    QByteArray out;
    qsizetype substituted = 0;
    appendEncoded(page, text, out, substituted);
    return out;
}

} // namespace transport
