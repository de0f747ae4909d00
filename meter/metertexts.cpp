#include "metertexts.h"

namespace meter {

QString readRequestText(const QString& address, const QString& code)
{
    if (code == QStringLiteral("45"))
        return QStringLiteral("60 F0 45*");
    return QStringLiteral("60 ") + address + code + u'*';
}

} // namespace meter
