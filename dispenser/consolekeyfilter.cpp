#include "consolekeyfilter.h"

#include "frametext.h"

namespace dispenser {

std::optional<QChar> consoleKeyFilter(QChar typed)
{
    if (const std::optional<QChar> letter = transport::hexLetterOfKey(typed))
        return letter;
    if (typed == u'№')
        return QChar(u'#');
    const char16_t c = typed.unicode();
    const bool passes = c < 32 || c == u' ' || c == u'#' || c == u'*' || (c >= u'0' && c <= u'9')
        || (c >= u'A' && c <= u'F')
        // The six characters of code page 1251 at BA..BF pass as well.
        || c == u'є' || c == u'»' || c == u'ј' || c == u'Ѕ' || c == u'ѕ' || c == u'ї';
    return passes ? std::optional<QChar>(typed) : std::nullopt;
}

} // namespace dispenser
