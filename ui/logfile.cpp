#include "logfile.h"

namespace ui {

namespace {
// Both converters come from Qt's ICU backend; the name is the one every system knows.
constexpr const char* kCodePage = "windows-1251";
constexpr char kLineEnd[] = "\r\n";
} // namespace

LogEncoder::LogEncoder()
    : encoder_(kCodePage)
{
}

void LogEncoder::append(QStringView line, QByteArray& out)
{
    const qsizetype start = out.size();
    out.resize(start + encoder_.requiredSpace(line.size()));
    char* const end = encoder_.appendToBuffer(out.data() + start, line);
    if (encoder_.hasError()) {
        // ICU writes its substitution byte (SUB), which would put a control character
        // into the file: redo this line one character at a time.
        out.resize(start);
        encoder_.resetState();
        appendCharByChar(line, out);
    } else {
        out.resize(end - out.constData());
    }
    out.append(kLineEnd, 2);
}

void LogEncoder::appendCharByChar(QStringView line, QByteArray& out)
{
    char buffer[16];
    qsizetype i = 0;
    while (i < line.size()) {
        // A surrogate pair is one character and becomes one "?".
        const qsizetype length =
            (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) ? 2 : 1;
        const QStringView character = line.sliced(i, length);
        char* const end = encoder_.appendToBuffer(buffer, character);
        if (encoder_.hasError() || end - buffer != 1) {
            out.append('?');
            ++substituted_;
            encoder_.resetState();
        } else {
            out.append(buffer[0]);
        }
        i += length;
    }
}

LogDecoder::LogDecoder()
    : decoder_(kCodePage)
{
}

void LogDecoder::feed(QByteArrayView bytes, QStringList& lines)
{
    // A single-byte code page: a piece cut anywhere decodes on its own.
    const QString text = decoder_.decode(bytes);
    qsizetype from = 0;
    if (afterCr_ && !text.isEmpty() && text.front() == u'\n')
        from = 1;
    afterCr_ = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        partial_.append(QStringView(text).sliced(from, i - from));
        lines.append(std::move(partial_));
        partial_ = QString();
        if (c == u'\r') {
            if (i + 1 < text.size()) {
                if (text[i + 1] == u'\n')
                    ++i;
            } else {
                afterCr_ = true;
            }
        }
        from = i + 1;
    }
    partial_.append(QStringView(text).sliced(from));
}

void LogDecoder::finish(QStringList& lines)
{
    if (!partial_.isEmpty())
        lines.append(std::move(partial_));
    partial_ = QString();
    afterCr_ = false;
}

QByteArray encodeLog(const QStringList& lines, qsizetype* substituted)
{
    LogEncoder encoder;
    QByteArray out;
    for (const QString& line : lines)
        encoder.append(line, out);
    if (substituted)
        *substituted = encoder.substituted();
    return out;
}

QStringList decodeLog(QByteArrayView bytes)
{
    LogDecoder decoder;
    QStringList lines;
    decoder.feed(bytes, lines);
    decoder.finish(lines);
    return lines;
}

} // namespace ui
