#include "logstore.h"

#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <utility>

namespace ui {

namespace {

// A pane that logs a few lines holds a few kilobytes; a busy one allocates in steps of
// 64 KiB, so the unused end of the last chunk stays small against the lines held, and a
// million lines make some eight hundred allocations.
constexpr qsizetype kFirstChunkBytes = 4 * 1024;
constexpr qsizetype kLargestChunkBytes = 64 * 1024;

// Bytes the text takes in UTF-8; a lone surrogate counts as the three bytes of the
// replacement character, never less than the encoder writes.
qsizetype utf8Length(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

// UTF-16 units that the UTF-8 bytes decode to: one per lead byte, two for a four-byte
// sequence. The store holds only what its encoder wrote, so the bytes are valid UTF-8.
qsizetype utf16Units(QByteArrayView utf8)
{
    qsizetype units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        units += int((byte & 0xC0) != 0x80) + int(byte >= 0xF0);
    }
    return units;
}

char* encodeUtf8(char* out, QStringView text)
{
    // Stateless: a lone surrogate at the end of one line must not pair with the next.
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return encoder.appendToBuffer(out, text);
}

} // namespace

LogStore::LogStore(QObject* parent)
    : QObject(parent)
{
}

LogStore::~LogStore() = default;

void LogStore::append(QStringView text)
{
    const qsizetype first = lineCount();
    appendSplit(text);
    ++revision_;
    emit linesAppended(first, lineCount() - first);
}

void LogStore::setLines(const QStringList& lines)
{
    dropAll();
    for (const QString& line : lines)
        appendSplit(line);
    ++revision_;
    emit linesReset();
}

void LogStore::clear()
{
    dropAll();
    ++revision_;
    emit linesReset();
}

void LogStore::takeLines(LogStore& other)
{
    if (&other == this)
        return;
    dropAll();
    chunks_.swap(other.chunks_);
    lineStarts_.swap(other.lineStarts_);
    utf16Counts_.swap(other.utf16Counts_);
    std::swap(longestLine_, other.longestLine_);
    std::swap(longestLength_, other.longestLength_);
    ++revision_;
    emit linesReset();
    other.clear();
}

void LogStore::dropAll()
{
    chunks_.clear();
    chunks_.shrink_to_fit();
    std::vector<std::uint32_t>().swap(lineStarts_);
    std::vector<Utf16Count>().swap(utf16Counts_);
    longestLine_ = -1;
    longestLength_ = -1;
}

void LogStore::appendSplit(QStringView text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        appendOne(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    appendOne(text.sliced(start));
}

void LogStore::appendOne(QStringView line)
{
    char* const out = reserveBytes(line);
    Chunk& chunk = chunks_.back();
    lineStarts_.push_back(static_cast<std::uint32_t>(chunk.used));
    chunk.used = encodeUtf8(out, line) - chunk.bytes.get();
    if (line.size() > longestLength_) {
        longestLength_ = line.size();
        longestLine_ = lineCount() - 1;
    }
}

// Room for the line at the end of the last chunk, starting a new chunk where needed. The
// exact UTF-8 length is counted only when the cheap bound (three bytes a unit) does not fit.
char* LogStore::reserveBytes(QStringView line)
{
    const qsizetype room = chunks_.empty() ? 0 : chunks_.back().capacity - chunks_.back().used;
    qsizetype bytes = line.size() * 3;
    if (bytes > room)
        bytes = utf8Length(line);
    if (bytes <= room && !chunks_.empty())
        return chunks_.back().bytes.get() + chunks_.back().used;

    const qsizetype previous = chunks_.empty() ? 0 : chunks_.back().capacity;
    // A line longer than a chunk gets a chunk of its own, of the exact size.
    const qsizetype capacity = std::max(std::clamp(previous * 2, kFirstChunkBytes, kLargestChunkBytes), bytes);
    Chunk chunk;
    chunk.bytes = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(capacity));
    chunk.capacity = capacity;
    chunk.firstLine = lineCount();
    chunks_.push_back(std::move(chunk));
    return chunks_.back().bytes.get();
}

qsizetype LogStore::chunkOfLine(qsizetype index) const
{
    const auto after = std::upper_bound(chunks_.begin(), chunks_.end(), index,
                                        [](qsizetype line, const Chunk& chunk) { return line < chunk.firstLine; });
    return (after - chunks_.begin()) - 1;
}

QByteArrayView LogStore::lineUtf8(qsizetype index) const
{
    if (index < 0 || index >= lineCount())
        return {};
    const auto c = static_cast<std::size_t>(chunkOfLine(index));
    const Chunk& chunk = chunks_[c];
    const auto i = static_cast<std::size_t>(index);
    const bool lastOfChunk = i + 1 == lineStarts_.size()
                             || (c + 1 < chunks_.size() && chunks_[c + 1].firstLine == index + 1);
    const qsizetype from = lineStarts_[i];
    const qsizetype to = lastOfChunk ? chunk.used : qsizetype(lineStarts_[i + 1]);
    return QByteArrayView(chunk.bytes.get() + from, to - from);
}

QString LogStore::line(qsizetype index) const
{
    return QString::fromUtf8(lineUtf8(index));
}

QStringList LogStore::lines() const
{
    QStringList out;
    out.reserve(lineCount());
    forEachLine([&out](QByteArrayView utf8) { out.append(QString::fromUtf8(utf8)); });
    return out;
}

// Brings the per-chunk counts up to date: only the last counted chunk can have grown since.
void LogStore::countUtf16() const
{
    if (utf16Counts_.size() > chunks_.size())
        utf16Counts_.clear();
    std::size_t c = utf16Counts_.empty() ? 0 : utf16Counts_.size() - 1;
    utf16Counts_.resize(chunks_.size());
    for (; c < chunks_.size(); ++c) {
        Utf16Count& count = utf16Counts_[c];
        count.before = c == 0 ? 0 : utf16Counts_[c - 1].before + utf16Counts_[c - 1].units;
        const Chunk& chunk = chunks_[c];
        count.units += utf16Units(QByteArrayView(chunk.bytes.get() + count.bytes, chunk.used - count.bytes));
        count.bytes = chunk.used;
    }
}

// Offset of the chunk's first line: the units of the chunks before it and one "\n" for
// each line before it. The counts must be up to date.
qsizetype LogStore::utf16OffsetOfChunk(std::size_t chunk) const
{
    return utf16Counts_[chunk].before + chunks_[chunk].firstLine;
}

qsizetype LogStore::utf16Size() const
{
    if (chunks_.empty())
        return 0;
    countUtf16();
    return utf16Counts_.back().before + utf16Counts_.back().units + lineCount() - 1;
}

qsizetype LogStore::utf16OffsetOfLine(qsizetype index) const
{
    if (index >= lineCount())
        return utf16Size();
    if (index <= 0)
        return 0;
    countUtf16();
    const auto c = static_cast<std::size_t>(chunkOfLine(index));
    const Chunk& chunk = chunks_[c];
    const qsizetype from = lineStarts_[static_cast<std::size_t>(chunk.firstLine)];
    const qsizetype to = lineStarts_[static_cast<std::size_t>(index)];
    return utf16OffsetOfChunk(c) + utf16Units(QByteArrayView(chunk.bytes.get() + from, to - from))
           + (index - chunk.firstLine);
}

qsizetype LogStore::lineAtUtf16Offset(qsizetype offset) const
{
    if (chunks_.empty())
        return -1;
    countUtf16();
    // The last chunk that starts at or before the offset.
    std::size_t low = 0;
    std::size_t high = chunks_.size();
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        if (utf16OffsetOfChunk(middle) <= offset)
            low = middle;
        else
            high = middle;
    }
    const Chunk& chunk = chunks_[low];
    const qsizetype end = low + 1 < chunks_.size() ? chunks_[low + 1].firstLine : lineCount();
    qsizetype start = utf16OffsetOfChunk(low);
    for (qsizetype line = chunk.firstLine; line < end; ++line) {
        const qsizetype from = lineStarts_[static_cast<std::size_t>(line)];
        const qsizetype to = line + 1 < end ? qsizetype(lineStarts_[static_cast<std::size_t>(line + 1)]) : chunk.used;
        start += utf16Units(QByteArrayView(chunk.bytes.get() + from, to - from));
        if (offset <= start)
            return line;
        ++start; // the line's "\n"
    }
    return end - 1;
}

qsizetype LogStore::allocatedBytes() const
{
    qsizetype bytes = qsizetype(chunks_.capacity() * sizeof(Chunk))
                      + qsizetype(lineStarts_.capacity() * sizeof(std::uint32_t))
                      + qsizetype(utf16Counts_.capacity() * sizeof(Utf16Count));
    for (const Chunk& chunk : chunks_)
        bytes += chunk.capacity;
    return bytes;
}

} // namespace ui
