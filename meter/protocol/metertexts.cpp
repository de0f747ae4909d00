#include "metertexts.h"

#include "controlleraddress.h"
#include "frametext.h"
#include "metercodes.h"

namespace meter {

namespace {

QString hex4(std::uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString readRequestText(const QString& address, const QString& code)
{
    if (code == QStringLiteral("45"))
        return QStringLiteral("60 F0 45*");
    return QStringLiteral("60 ") + address + code + u'*';
}

QString readRequestText(const QString& address, std::uint8_t code)
{
    return readRequestText(address, transport::hexByte(code));
}

QString settingWriteText(const QString& address, int setting, std::uint16_t value)
{
    return QStringLiteral("60 ") + address + QString::fromLatin1(kSettings.at(static_cast<std::size_t>(setting)).writeMiddle)
        + hex4(value) + u'*';
}

QString indicationWriteText(const QString& address, std::uint8_t mask)
{
    return QStringLiteral("60 ") + address + QStringLiteral(" 71* ") + transport::hexByte(mask) + u'*';
}

QString addressWriteText(const QString& address, const QString& newAddress)
{
    return QStringLiteral("60 ") + address + QStringLiteral(" 41 *") + newAddress + u'*';
}

std::uint8_t indicationMask(const std::array<bool, 8>& channels)
{
    std::uint8_t mask = 0;
    for (std::size_t k = 0; k < channels.size(); ++k)
        if (channels[k])
            mask |= static_cast<std::uint8_t>(1u << k);
    return mask;
}

std::optional<std::uint64_t> decimalNumber(QStringView digits, std::uint64_t limit)
{
    if (digits.isEmpty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const std::uint64_t digit = c.unicode() - u'0';
        // Stops before the value could pass the limit, so no text overflows.
        if (digit > limit || value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::uint16_t> settingValue(const QString& text)
{
    const std::optional<std::uint64_t> value = decimalNumber(QStringView(text).trimmed(), 0xFFFF);
    if (!value)
        return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

QString settingTitle(int setting)
{
    static const char* const groups[] = {"Коррекция напряжения", "Нижний предел напряжения",
                                         "Верхний предел напряжения", "Коррекция тока", "Верхний предел тока"};
    return QStringLiteral("%1, фаза %2").arg(QString::fromUtf8(groups[setting / 3])).arg(setting % 3 + 1);
}

QString settingValueError(int setting, const QString& text)
{
    return QStringLiteral("%1: «%2» — не целое число от 0 до 65535, значение не записано")
        .arg(settingTitle(setting), text);
}

std::optional<QString> newMeterAddress(const QString& typed)
{
    const std::optional<QString> address = transport::frameAddressText(typed);
    if (!address || *address == QStringLiteral("00") || transport::hexText6ToInt(*address) > 0x7F)
        return std::nullopt;
    return address;
}

QString newMeterAddressError(const QString& typed)
{
    return QStringLiteral("Новый адрес «%1» — не адрес от 01 до 7F: не записан").arg(typed);
}

QString notSentWhileBusyLine()
{
    return QStringLiteral("Не отправлено: ожидается ответ на предыдущий запрос");
}

} // namespace meter
