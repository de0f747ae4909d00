#include "meterreplies.h"

#include "frametext.h"
#include "logline.h"
#include "metertexts.h"

namespace meter {

namespace {

constexpr std::size_t kFirstDigitByte = 1;
constexpr std::size_t kLastDigitByte = 6;

// A value in bytes 0 and 1, or the address in byte 1, needs both before the checksum.
constexpr std::size_t kShortestValueReply = 3;

QString tooShortLine(std::size_t count)
{
    return QStringLiteral("Ответ из %1 байт короче ожидаемого: значение не показано").arg(count);
}

// The largest power a label can show: the meter's display has six characters.
constexpr std::uint64_t kLargestPowerDigits = 999'999;

// Bytes 1 to 6 of a reading that come before the checksum.
std::span<const std::uint8_t> readingBytes(std::span<const std::uint8_t> reply)
{
    if (reply.size() < 2)
        return {};
    const std::size_t end = std::min(kLastDigitByte + 1, reply.size() - 1);
    return reply.subspan(kFirstDigitByte, end - kFirstDigitByte);
}

} // namespace

QString readingDigits(std::span<const std::uint8_t> reply)
{
    QString digits;
    for (const std::uint8_t byte : readingBytes(reply))
        if (byte >= '0' && byte <= '9')
            digits += QLatin1Char(static_cast<char>(byte));
    return digits;
}

ReadingValue readingValue(std::span<const std::uint8_t> reply)
{
    const std::span<const std::uint8_t> bytes = readingBytes(reply);
    return ReadingValue::fromText(QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
}

MeterReply decodeReply(std::span<const std::uint8_t> reply, std::uint8_t expectCmd)
{
    MeterReply out;
    if (reply.empty()) {
        out.logLines << transport::timeOutLine();
        return out;
    }
    if (reply.size() == 1) {
        // The answer to a write, whatever was read last.
        out.requestLogLine = transport::hexByte(reply[0]);
        if (reply[0] == 0x00)
            out.logLines << QStringLiteral("Записано верно");
        else if (reply[0] == 0xFF)
            out.logLines << QStringLiteral("Ошибка при программировании");
        return out;
    }
    if (!transport::replyChecksumMatches(reply)) {
        out.logLines << transport::checksumErrorText(reply.size());
        return out;
    }

    if (const std::optional<Quantity> quantity = quantityForCode(expectCmd)) {
        out.reading = Reading{*quantity, readingDigits(reply), readingValue(reply)};
        return out;
    }
    const std::optional<int> setting = settingForReadCode(expectCmd);
    if (!setting && expectCmd != kReadAddressCode)
        return out;
    if (reply.size() < kShortestValueReply) {
        out.logLines << tooShortLine(reply.size());
        return out;
    }
    if (setting) {
        out.setting = SettingValue{*setting, static_cast<std::uint16_t>(reply[0] << 8 | reply[1])};
        return out;
    }
    const std::uint8_t address = reply[1];
    out.address = MeterAddress{address, transport::hexByte(address),
                               address <= 0x7F ? std::optional<int>(address - 1) : std::nullopt};
    return out;
}

std::optional<QString> powerSumText(const std::array<QString, 3>& powers)
{
    std::uint64_t sum = 0;
    for (const QString& power : powers) {
        const std::optional<std::uint64_t> value = decimalNumber(power, kLargestPowerDigits);
        if (!value)
            return std::nullopt;
        sum += *value;
    }
    return QString::number(sum);
}

} // namespace meter
