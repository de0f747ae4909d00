#include "frametext.h"

#include <QDateTime>
#include <QLocale>

namespace transport {

namespace {


// Qt's long time formats carry a time-zone token ("t", "tttt"); the log wants none.
QString timeFormatWithoutZone(const QString& longFormat)
{
    QString out;
    bool quoted = false;
    for (QChar c : longFormat) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

std::optional<int> hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return std::nullopt;
}

std::optional<QChar> hexLetterOfKey(QChar typed)
{
    switch (typed.unicode()) {
    case u'a': case u'ф': case u'Ф': return QChar(u'A');
    case u'b': case u'и': case u'И': return QChar(u'B');
    case u'c': case u'с': case u'С': return QChar(u'C');
    case u'd': case u'в': case u'В': return QChar(u'D');
    case u'e': case u'у': case u'У': return QChar(u'E');
    case u'f': case u'а': case u'А': return QChar(u'F');
    default: return std::nullopt;
    }
}

std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes)
{
    std::uint8_t c = 0xFF;
    for (std::uint8_t b : bytes) {
        const std::uint8_t x = c ^ b;
        c = static_cast<std::uint8_t>((x << 1) | (x >> 7));
    }
    return c;
}

std::uint8_t frameChecksum(const QByteArray& bytes)
{
    return frameChecksum(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size())));
}

bool isBlankFramePiece(const QString& piece)
{
    for (QChar c : piece)
        if (c != u' ')
            return false;
    return true;
}

QStringList splitFrameText(const QString& text)
{
    QString s = text;
    qsizetype pair;
    while ((pair = s.indexOf(QStringLiteral("**"))) >= 0)
        s.remove(pair, 1);
    QStringList pieces;
    qsizetype star;
    while ((star = s.indexOf(u'*')) >= 0) {
        pieces << s.left(star + 1);
        s.remove(0, star + 1);
    }
    if (!s.isEmpty() && !isBlankFramePiece(s))
        pieces << s;
    return pieces;
}

std::optional<QByteArray> lineBytesOfText(const QString& text)
{
    QByteArray bytes;
    for (const QString& piece : splitFrameText(text)) {
        const std::optional<FrameBytes> frame = frameTextToBytes(piece);
        if (!frame)
            return std::nullopt;
        bytes += frame->bytes;
    }
    return bytes;
}

std::optional<FrameBytes> frameTextToBytes(const QString& frameText)
{
    QString text = frameText;
    text.remove(u' ');

    FrameBytes frame;
    const qsizetype star = text.indexOf(u'*');
    if (text.isEmpty() || (star >= 0 && star == text.size() - 1)) {
        frame.withChecksum = true;
        text.chop(text.isEmpty() ? 0 : 1);
    }

    const qsizetype length = text.size();
    const qsizetype dataBytes = length < 2 ? 0 : (length + 1) / 2;
    if (dataBytes + (frame.withChecksum ? 1 : 0) > kMaxFrameBytes)
        return std::nullopt;

    frame.bytes.reserve(dataBytes + 1);
    for (qsizetype i = 0; i < dataBytes; ++i) {
        const int high = hexDigitValue(text.at(2 * i)).value_or(0);
        const int low = 2 * i + 1 < length ? hexDigitValue(text.at(2 * i + 1)).value_or(0) : 0;
        frame.bytes.append(static_cast<char>(high * 16 + low));
    }
    if (frame.withChecksum)
        frame.bytes.append(static_cast<char>(frameChecksum(frame.bytes)));
    return frame;
}

namespace {
constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";
} // namespace

QString hexByte(std::uint8_t byte)
{
    const QChar pair[2] = {QChar(kHexDigits[byte >> 4]), QChar(kHexDigits[byte & 0x0F])};
    return QString(pair, 2);
}

QString byteText(std::span<const std::uint8_t> bytes)
{
    // Written in place: a reply of a few KiB is a line of three characters a byte, and a
    // string made and appended per byte would cost many times the text itself.
    QString text(static_cast<qsizetype>(bytes.size()) * 3, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (std::uint8_t b : bytes) {
        *out++ = u' ';
        *out++ = kHexDigits[b >> 4];
        *out++ = kHexDigits[b & 0x0F];
    }
    return text;
}

QString byteText(const QByteArray& bytes)
{
    return byteText(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size())));
}

QString timeStampText(const QDateTime& when, const QLocale& locale)
{
    return locale.toString(when.date(), QLocale::ShortFormat) + u' '
        + locale.toString(when.time(), timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

QString timeStampText()
{
    return timeStampText(QDateTime::currentDateTime(), QLocale::system());
}

int hexText6ToInt(const QString& text)
{
    int value = 0;
    for (QChar c : text.right(6)) {
        // Frame text takes lower-case digits; these short texts count them as 0.
        const int digit = c.isLower() ? 0 : hexDigitValue(c).value_or(0);
        value = value * 16 + digit;
    }
    return value;
}

} // namespace transport
