#pragma once
// The lines of one case kept for its report, in bounded memory: a soak test of a
// million steps prints a million lines as it goes, but its report keeps the first and
// the last of them, every notable line (stray bytes, a mismatch) up to a bound, and
// says how many it left out. A case of a few hundred lines is kept whole.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace testscript {

class CaseOutput {
public:
    // Lines kept from the start, from the end, and notable ones from between.
    static constexpr std::size_t kHeadLines = 200;
    static constexpr std::size_t kTailLines = 200;
    static constexpr std::size_t kNotableLines = 1000;

    void add(const QString& line, bool notable = false);
    // The lines kept, in order, with a line for each run of lines left out.
    QStringList lines() const;
    std::int64_t count() const { return count_; }

private:
    using Numbered = std::pair<std::int64_t, QString>;

    QStringList head_;
    std::vector<Numbered> notable_;
    std::deque<Numbered> tail_;
    std::int64_t count_ = 0;
};

} // namespace testscript
