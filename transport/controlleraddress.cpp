#include "controlleraddress.h"

#include "frametext.h"

namespace transport {

std::optional<QString> frameAddressText(const QString& typed)
{
    if (typed.isEmpty() || typed.size() > 2)
        return std::nullopt;
    for (QChar c : typed)
        if (!hexDigitValue(c))
            return std::nullopt;
    return typed.rightJustified(2, u'0').toUpper();
}

QString badAddressLine(const QString& typed)
{
    return QStringLiteral("Адрес «%1» — не адрес контроллера (01-7F): запрос не отправлен").arg(typed);
}

} // namespace transport
