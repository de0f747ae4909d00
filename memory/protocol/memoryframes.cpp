#include "memoryframes.h"

#include "frametext.h"

namespace memory {

QString preambleText(const QString& frameAddress)
{
    return QStringLiteral("60") + frameAddress + QStringLiteral("00*C0");
}

QString areaRequestText(const QString& code, const QString& address, const QString& value)
{
    return code + address + value;
}

QString paneLine(const QString& fieldText, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    using transport::hexByte;
    return fieldText + u' ' + hexByte(b0) + u' ' + hexByte(b1) + u' ' + hexByte(b2);
}

QString badBitNumberLine(const QString& typed)
{
    return QStringLiteral("Номер бита «%1» — не бит байта (0-7): запрос не отправлен").arg(typed);
}

} // namespace memory
