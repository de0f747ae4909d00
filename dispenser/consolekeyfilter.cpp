#include "consolekeyfilter.h"

namespace dispenser {

std::optional<QChar> consoleKeyFilter(QChar typed)
{
    switch (typed.unicode()) {
    case u'a': case u'ф': case u'Ф': return QChar(u'A');
    case u'b': case u'и': case u'И': return QChar(u'B');
    case u'c': case u'с': case u'С': return QChar(u'C');
    case u'd': case u'в': case u'В': return QChar(u'D');
    case u'e': case u'у': case u'У': return QChar(u'E');
    case u'f': case u'а': case u'А': return QChar(u'F');
    case u'№': return QChar(u'#');
    default: break;
    }
    const char16_t c = typed.unicode();
    const bool passes = c < 32 || c == u' ' || c == u'#' || c == u'*' || (c >= u'0' && c <= u'9')
        || (c >= u'A' && c <= u'F')
        // The six characters of code page 1251 at BA..BF pass as well.
        || c == u'є' || c == u'»' || c == u'ј' || c == u'Ѕ' || c == u'ѕ' || c == u'ї';
    return passes ? std::optional<QChar>(typed) : std::nullopt;
}

} // namespace dispenser
