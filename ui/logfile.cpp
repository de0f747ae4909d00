#include "logfile.h"

#include "codepage.h"
#include "logstore.h"

#include <utility>

namespace ui {

namespace {
constexpr char kLineEnd[] = "\r\n";
} // namespace

void LogEncoder::append(QStringView line, QByteArray& out)
{
    transport::appendEncoded(transport::CodePage::Windows1251, line, out, substituted_);
    out.append(kLineEnd, 2);
}

template <typename AppendLine>
void LogDecoder::feedLines(QByteArrayView bytes, AppendLine&& appendLine)
{
    // A single-byte code page: a piece cut anywhere decodes on its own.
    text_.resize(0);
    transport::appendDecoded(transport::CodePage::Windows1251, bytes, text_);
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
