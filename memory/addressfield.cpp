#include "addressfield.h"

#include "codepage.h"
#include "frametext.h"

namespace memory {

namespace {

bool isUpperHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

// The byte a character has in code page 1251; the keyboard table is defined there.
std::optional<unsigned char> cp1251Byte(QChar c)
{
    return transport::encodedByte(transport::CodePage::Windows1251, c.unicode());
}

// The text after the blanks were collapsed: blanks, digits and A-F only, one blank
// at most. A stray character refuses the text silently, but a second blank met
// before it is reported: the text then looks like a write with two values.
AddressFieldRequest::Kind checkCharacters(const QString& text)
{
    int blanks = 0;
    for (QChar c : text) {
        if (c == u' ') {
            if (++blanks == 2)
                return AddressFieldRequest::TwoBlanks;
        } else if (!isUpperHexDigit(c)) {
            return AddressFieldRequest::Refused;
        }
    }
    return AddressFieldRequest::Read;
}

QString sixDigits(int address)
{
    return QStringLiteral("%1").arg(address, 6, 16, QLatin1Char('0')).toUpper();
}

} // namespace

std::optional<QChar> addressKeyFilter(QChar typed)
{
    if (const std::optional<QChar> letter = transport::hexLetterOfKey(typed))
        return letter;
    if (typed == u'*')
        return std::nullopt;
    const char16_t c = typed.unicode();
    if (c < 32 || c == u' ' || c == u'#' || isUpperHexDigit(typed))
        return typed;
    const std::optional<unsigned char> byte = cp1251Byte(typed);
    if (byte && *byte >= 186 && *byte <= 191)
        return typed;
    return std::nullopt;
}

QString collapseBlanks(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u' ' && (out.isEmpty() || out.back() == u' '))
            continue;
        out.append(c);
    }
    if (out.endsWith(u' '))
        out.chop(1);
    return out;
}

AddressFieldRequest parseAddressField(const QString& typed, MemoryKey key)
{
    AddressFieldRequest request;
    if (typed.size() > kAddressFieldMaxLength)
        return request;
    QString text = collapseBlanks(typed);
    request.kind = checkCharacters(text);
    if (request.kind != AddressFieldRequest::Read)
        return request;

    const qsizetype blank = text.indexOf(u' ');
    if (blank >= 0 && (key == MemoryKey::PageDown || key == MemoryKey::PageUp))
        text.truncate(blank);

    if (blank >= 0 && key == MemoryKey::Enter) {
        const QString address = text.left(blank);
        QString value = text.mid(blank + 1);
        if (address.size() > 6 || value.size() > 2)
            return {};
        request.kind = AddressFieldRequest::Write;
        request.address = address.rightJustified(6, u'0');
        request.value = value.rightJustified(2, u'0');
        request.fieldText = request.address + u' ' + request.value;
        request.caret = 9;
        return request;
    }

    if (text.size() > 6)
        return {};
    int address = transport::hexText6ToInt(text.rightJustified(6, u'0'));
    if (key == MemoryKey::PageDown && address < kLastAddress)
        ++address;
    else if (key == MemoryKey::PageUp && address > 0)
        --address;
    request.address = sixDigits(address);
    request.fieldText = request.address;
    request.caret = 6;
    return request;
}

QString adressyach(const QString& typed)
{
    if (typed.size() > kAddressFieldMaxLength)
        return kUnusableAddress;
    const QString text = collapseBlanks(typed);
    if (checkCharacters(text) != AddressFieldRequest::Read)
        return kUnusableAddress;
    const QString address = text.section(u' ', 0, 0);
    if (address.size() > 6)
        return kUnusableAddress;
    return address.rightJustified(6, u'0');
}

} // namespace memory
