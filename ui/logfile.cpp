#include "logfile.h"

#include "logstore.h"

#include <utility>

namespace ui {

namespace {
// Both converters come from Qt's ICU backend; the name is the one every system knows.
constexpr const char* kCodePage = "windows-1251";
constexpr char kLineEnd[] = "\r\n";
constexpr char kSubstitute = '\x1A';
} // namespace

LogEncoder::LogEncoder()
{
    encoder_.emplace(kCodePage);
}

void LogEncoder::append(QStringView line, QByteArray& out)
{
    const qsizetype start = out.size();
    out.resize(start + encoder_->requiredSpace(line.size()));
    char* const end = encoder_->appendToBuffer(out.data() + start, line);
    out.resize(end - out.constData());
    if (encoder_->hasError()) {
        // The error mark sticks to a converter even through resetState(): the next line
        // gets a fresh one, built in place (see the header).
        encoder_.emplace(kCodePage);
        markUnmappable(line, out, start);
    }
    out.append(kLineEnd, 2);
}

// ICU writes its substitution byte, the control character SUB, for a character it
// cannot map; the file gets "?" instead. In a single-byte code page every character
// (a surrogate pair too) is one byte, so bytes and characters go in step.
void LogEncoder::markUnmappable(QStringView line, QByteArray& out, qsizetype start)
{
    const auto characters = QStringView(line).toUcs4();
    if (characters.size() != out.size() - start) {
        out.resize(start);
        appendCharByChar(characters, out);
        return;
    }
    for (qsizetype i = 0; i < characters.size(); ++i) {
        char& byte = out[start + i];
        if (byte == kSubstitute && characters[i] != char32_t(kSubstitute)) {
            byte = '?';
            ++substituted_;
        }
    }
}

// Slow and safe, for a line whose bytes do not match its characters one to one.
void LogEncoder::appendCharByChar(const QList<uint>& characters, QByteArray& out)
{
    for (const uint character : characters) {
        QStringEncoder single(kCodePage);
        const char32_t one[] = {char32_t(character)};
        const QByteArray bytes = single.encode(QString::fromUcs4(one, 1));
        if (single.hasError() || bytes.size() != 1) {
            out.append('?');
            ++substituted_;
        } else {
            out.append(bytes);
        }
    }
}

LogDecoder::LogDecoder()
    : decoder_(kCodePage)
{
}

template <typename AppendLine>
void LogDecoder::feedLines(QByteArrayView bytes, AppendLine&& appendLine)
{
    // A single-byte code page: a piece cut anywhere decodes on its own.
    text_.resize(decoder_.requiredSpace(bytes.size()));
    text_.truncate(decoder_.appendToBuffer(text_.data(), bytes) - text_.constData());
    const QStringView text(text_);
    qsizetype from = 0;
    if (afterCr_ && !text.isEmpty() && text.front() == u'\n')
        from = 1;
    afterCr_ = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        if (partial_.isEmpty()) {
            appendLine(text.sliced(from, i - from));
        } else {
            partial_.append(text.sliced(from, i - from));
            appendLine(std::move(partial_));
            partial_ = QString();
        }
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
    partial_.append(text.sliced(from));
}

template <typename AppendLine>
void LogDecoder::finishLines(AppendLine&& appendLine)
{
    if (!partial_.isEmpty())
        appendLine(std::move(partial_));
    partial_ = QString();
    afterCr_ = false;
}

namespace {

// A line that was cut between two pieces is a string already and moves into the list.
struct AppendToList {
    QStringList& lines;
    void operator()(QStringView line) const { lines.append(line.toString()); }
    void operator()(QString&& line) const { lines.append(std::move(line)); }
};

} // namespace

void LogDecoder::feed(QByteArrayView bytes, QStringList& lines)
{
    feedLines(bytes, AppendToList{lines});
}

void LogDecoder::finish(QStringList& lines)
{
    finishLines(AppendToList{lines});
}

void LogDecoder::feed(QByteArrayView bytes, LogStore& lines)
{
    // What comes here holds no line end: the store takes it as one line.
    feedLines(bytes, [&lines](QStringView line) { lines.append(line); });
}

void LogDecoder::finish(LogStore& lines)
{
    finishLines([&lines](QStringView line) { lines.append(line); });
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
