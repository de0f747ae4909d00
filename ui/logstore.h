#pragma once
// The lines of a log, kept compact: the panes are never trimmed and a day of polling
// appends about a million lines, so a line costs its UTF-8 bytes in large shared chunks
// plus four bytes of index, instead of a text block with its layout and formats.

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <vector>

namespace ui {

class LogStore : public QObject {
    Q_OBJECT
public:
    explicit LogStore(QObject* parent = nullptr);
    ~LogStore() override;

    // Adds the text as one line, or as several where it holds line ends: a lone CR, a lone
    // LF and CR LF each end a line, and the text after the last end is a line of its own
    // (so "a\n" is the lines "a" and "").
    void append(QStringView text);
    // Replaces every line at once; each entry is split as append() splits it.
    void setLines(const QStringList& lines);
    void clear();
    // Takes every line of `other` in place of its own and leaves `other` empty: a log built
    // aside, as a file being loaded is, replaces this one in one step and one reset, and an
    // unfinished one never shows.
    void takeLines(LogStore& other);

    qsizetype lineCount() const { return static_cast<qsizetype>(lineStarts_.size()); }
    bool isEmpty() const { return lineStarts_.empty(); }
    QString line(qsizetype index) const;
    QByteArrayView lineUtf8(qsizetype index) const;
    QStringList lines() const;

    // Calls visit(QByteArrayView utf8) for every line in order, chunk by chunk.
    template <typename Visit>
    void forEachLine(Visit&& visit) const;

    // The line with the most UTF-16 units (the first of equals), -1 when empty: views
    // measure it instead of measuring every line.
    qsizetype longestLine() const { return longestLine_; }
    qsizetype longestLineLength() const { return longestLength_; }

    // Offsets into the text as assistive technology counts them: UTF-16 units across the
    // whole log, "\n" between lines and none after the last. Each chunk's count is made on
    // first use and then only for the bytes appended since, so a log nobody reads this way
    // pays nothing, and an offset is found by a binary search over chunks and a scan of one.
    qsizetype utf16Size() const;
    // Where the line starts; utf16Size() for an index past the last line.
    qsizetype utf16OffsetOfLine(qsizetype index) const;
    // The line an offset falls in: a line's "\n" belongs to it, offsets past the end to the
    // last line; -1 when empty.
    qsizetype lineAtUtf16Offset(qsizetype offset) const;

    // Bumped by every change, for callers that poll instead of listening.
    quint64 revision() const { return revision_; }
    // Bytes this store has allocated for its lines and their index.
    qsizetype allocatedBytes() const;

signals:
    void linesAppended(qsizetype first, qsizetype count);
    // Every line may have changed (clear or setLines).
    void linesReset();

private:
    struct Chunk {
        std::unique_ptr<char[]> bytes;
        qsizetype capacity = 0;
        qsizetype used = 0;
        qsizetype firstLine = 0;
    };

    void appendSplit(QStringView text);
    void appendOne(QStringView line);
    char* reserveBytes(QStringView line);
    qsizetype chunkOfLine(qsizetype index) const;
    void dropAll();
    void countUtf16() const;
    qsizetype utf16OffsetOfChunk(std::size_t chunk) const;

    std::vector<Chunk> chunks_;
    // Offset of each line inside its chunk; a line ends where the next line of the same
    // chunk starts, or at the chunk's used size.
    std::vector<std::uint32_t> lineStarts_;
    // Per chunk: the bytes counted so far, their UTF-16 units, and the units of every chunk
    // before it. Empty until an offset is first asked for.
    struct Utf16Count {
        qsizetype bytes = 0;
        qsizetype units = 0;
        qsizetype before = 0;
    };
    mutable std::vector<Utf16Count> utf16Counts_;
    qsizetype longestLine_ = -1;
    qsizetype longestLength_ = -1;
    quint64 revision_ = 0;
};

template <typename Visit>
void LogStore::forEachLine(Visit&& visit) const
{
    for (std::size_t c = 0; c < chunks_.size(); ++c) {
        const Chunk& chunk = chunks_[c];
        const auto first = static_cast<std::size_t>(chunk.firstLine);
        const std::size_t end = c + 1 < chunks_.size() ? static_cast<std::size_t>(chunks_[c + 1].firstLine)
                                                       : lineStarts_.size();
        for (std::size_t i = first; i < end; ++i) {
            const qsizetype from = lineStarts_[i];
            const qsizetype to = i + 1 < end ? qsizetype(lineStarts_[i + 1]) : chunk.used;
            visit(QByteArrayView(chunk.bytes.get() + from, to - from));
        }
    }
}

} // namespace ui
