#include "caseoutput.h"

#include <algorithm>

namespace testscript {

void CaseOutput::add(const QString& line, bool notable)
{
    const std::int64_t number = count_++;
    if (head_.size() < qsizetype(kHeadLines)) {
        head_ << line;
        return;
    }
    // A notable line that falls out of the tail is kept among the notable ones.
    if (notable && notable_.size() < kNotableLines) {
        notable_.emplace_back(number, line);
        return;
    }
    tail_.emplace_back(number, line);
    if (tail_.size() > kTailLines)
        tail_.pop_front();
}

QStringList CaseOutput::lines() const
{
    QStringList out = head_;
    std::vector<Numbered> rest(notable_.begin(), notable_.end());
    rest.insert(rest.end(), tail_.begin(), tail_.end());
    std::sort(rest.begin(), rest.end(), [](const Numbered& a, const Numbered& b) { return a.first < b.first; });
    std::int64_t next = std::int64_t(head_.size());
    for (const auto& [number, line] : rest) {
        if (number > next)
            out << QStringLiteral("… пропущено строк: %1 (все они в выводе запуска) …").arg(number - next);
        out << line;
        next = number + 1;
    }
    if (count_ > next)
        out << QStringLiteral("… пропущено строк: %1 (все они в выводе запуска) …").arg(count_ - next);
    return out;
}

} // namespace testscript
