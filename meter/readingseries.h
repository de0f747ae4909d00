#pragma once
// The readings of one quantity in the order they came: eight bytes each (a time
// offset and the packed value) in chunks of a fixed size, so a day of polling takes
// a few megabytes, appending never copies what is stored, and a range of time is
// found without touching the chunks outside it. Where the readings stopped for a
// while (the poll was stopped) the series breaks: a line drawn through it is not
// joined across the gap.

#include "readingvalue.h"

#include <QtGlobal>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace meter {

struct StoredReading {
    qint64 msecs = 0; // since the epoch, UTC
    ReadingValue value;
};

class ReadingSeries {
    struct Entry {
        std::int32_t offset; // milliseconds from the chunk's base
        ReadingValue value;
    };

public:
    static constexpr std::uint32_t kChunkCapacity = 4096;

    void append(qint64 msecs, ReadingValue value);
    // The readings that come next begin a new run, not joined to those before.
    void breakHere();

    qsizetype size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    // The earliest and the latest time stamp; a clock set back makes them differ from
    // the first and the last reading's.
    qint64 earliest() const { return earliest_; }
    qint64 latest() const { return latest_; }
    // What the readings take on the heap.
    std::size_t memoryBytes() const;

    // Walks the readings in the order they came.
    class Cursor {
    public:
        bool atEnd() const { return chunk_ >= series_->chunks_.size(); }
        StoredReading reading() const;
        void next();

    private:
        friend class ReadingSeries;
        explicit Cursor(const ReadingSeries& series) : series_(&series) {}
        const ReadingSeries* series_;
        std::size_t chunk_ = 0;
        std::uint32_t index_ = 0;
    };
    Cursor cursor() const { return Cursor(*this); }

    // Calls visit(msecs, value) for every reading stamped from..to (inclusive), in the
    // order they came.
    template <typename Visit>
    void visitBetween(qint64 from, qint64 to, Visit&& visit) const
    {
        visitRunsBetween(from, to, [](qsizetype, qint64, qint64) {}, visit);
    }
    // The same in runs: before the first reading of each run that has readings in the
    // range, runStarted(run, last, first) with the run's number (counted from 0 at the
    // first reading of the series), the time of the last reading visited before it
    // (none: the minimum of qint64) and the time of its own first one; then
    // visit(msecs, value) for its readings.
    template <typename RunStarted, typename Visit>
    void visitRunsBetween(qint64 from, qint64 to, RunStarted&& runStarted, Visit&& visit) const
    {
        std::size_t run = 0;
        bool announced = false;
        qint64 last = std::numeric_limits<qint64>::min();
        for (std::size_t c = 0; c < chunks_.size(); ++c) {
            const Chunk& chunk = chunks_[c];
            if (chunk.maxMsecs < from || chunk.minMsecs > to)
                continue;
            const bool whole = chunk.minMsecs >= from && chunk.maxMsecs <= to;
            // Every chunk but the last is full, so a reading's index follows from its place.
            const qsizetype first = qsizetype(c) * kChunkCapacity;
            for (std::uint32_t i = 0; i < chunk.count;) {
                while (run < breaks_.size() && breaks_[run] <= first + i) {
                    ++run;
                    announced = false;
                }
                // The readings up to the next break go without looking for one.
                const std::uint32_t end = run < breaks_.size() && breaks_[run] < first + chunk.count
                    ? std::uint32_t(breaks_[run] - first)
                    : chunk.count;
                for (; i < end; ++i) {
                    const qint64 msecs = chunk.base + chunk.entries[i].offset;
                    if (!whole && (msecs < from || msecs > to))
                        continue;
                    if (!announced) {
                        runStarted(qsizetype(run), last, msecs);
                        announced = true;
                    }
                    visit(msecs, chunk.entries[i].value);
                    last = msecs;
                }
            }
        }
    }

private:
    struct Chunk {
        qint64 base = 0;
        qint64 minMsecs = 0;
        qint64 maxMsecs = 0;
        std::uint32_t count = 0;
        std::unique_ptr<Entry[]> entries;
    };

    std::vector<Chunk> chunks_;
    // The index of the first reading of every run after the first, ascending.
    std::vector<qsizetype> breaks_;
    qsizetype size_ = 0;
    qint64 earliest_ = std::numeric_limits<qint64>::max();
    qint64 latest_ = std::numeric_limits<qint64>::min();
};

} // namespace meter
