#include "readingseries.h"

namespace meter {

void ReadingSeries::append(qint64 msecs, ReadingValue value)
{
    // A chunk's offsets count from its first reading, either way, since the clock may
    // be set back; a reading more than 24 days from it opens a new chunk.
    const auto fitsOffset = [](qint64 offset) {
        return offset >= std::numeric_limits<std::int32_t>::min() && offset <= std::numeric_limits<std::int32_t>::max();
    };
    const bool fits = !chunks_.empty() && chunks_.back().count < kChunkCapacity
        && fitsOffset(msecs - chunks_.back().base);
    if (!fits) {
        Chunk chunk;
        chunk.base = msecs;
        chunk.minMsecs = msecs;
        chunk.maxMsecs = msecs;
        // Left uninitialised: every entry is written before it is counted.
        chunk.entries.reset(new Entry[kChunkCapacity]);
        chunks_.push_back(std::move(chunk));
    }
    Chunk& chunk = chunks_.back();
    chunk.entries[chunk.count++] = Entry{std::int32_t(msecs - chunk.base), value};
    chunk.minMsecs = std::min(chunk.minMsecs, msecs);
    chunk.maxMsecs = std::max(chunk.maxMsecs, msecs);
    earliest_ = std::min(earliest_, msecs);
    latest_ = std::max(latest_, msecs);
    ++size_;
}

void ReadingSeries::breakHere()
{
    // A break before the first reading, or two without a reading between, parts nothing.
    if (size_ > 0 && (breaks_.empty() || breaks_.back() != size_))
        breaks_.push_back(size_);
}

std::size_t ReadingSeries::memoryBytes() const
{
    return chunks_.capacity() * sizeof(Chunk) + chunks_.size() * kChunkCapacity * sizeof(Entry)
        + breaks_.capacity() * sizeof(qsizetype);
}

StoredReading ReadingSeries::Cursor::reading() const
{
    const Chunk& chunk = series_->chunks_[chunk_];
    const Entry& entry = chunk.entries[index_];
    return StoredReading{chunk.base + entry.offset, entry.value};
}

void ReadingSeries::Cursor::next()
{
    if (++index_ >= series_->chunks_[chunk_].count) {
        index_ = 0;
        ++chunk_;
    }
}

} // namespace meter
