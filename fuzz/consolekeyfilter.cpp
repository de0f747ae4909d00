// Keys typed into the console line: every UTF-16 unit a key event can carry.

#include "fuzzcheck.h"

#include "consolekeyfilter.h"

using dispenser::consoleKeyFilter;

namespace {

bool frameTextCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return u < 32 || u == u' ' || u == u'#' || u == u'*' || (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F')
        // The code page 1251 characters at BA..BF, which the console has always let through.
        || u == u'є' || u == u'»' || u == u'ј' || u == u'Ѕ' || u == u'ѕ' || u == u'ї';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const QChar typed(char16_t(data[i] | data[i + 1] << 8));
        const std::optional<QChar> inserted = consoleKeyFilter(typed);
        const QString shown = QString::number(typed.unicode(), 16);
        if (!inserted)
            continue;
        fuzz::check(frameTextCharacter(*inserted), "a character outside frame text got in", shown);
        fuzz::check(consoleKeyFilter(*inserted) == inserted, "an inserted character would be changed again", shown);
        if (frameTextCharacter(typed))
            fuzz::check(*inserted == typed, "a frame text character was changed", shown);
        if (typed >= u'a' && typed <= u'f')
            fuzz::check(*inserted == typed.toUpper(), "a lower-case hex letter is not its upper case", shown);
    }
    return 0;
}
