#pragma once
// The words of a run, one builder each, so that the window's log, the command line and
// the report say the same thing.

#include "scriptrun.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

namespace testscript {

// "шаг 3 из 10, строка 7: send 60 01 81 * → 60 01 81 FB, ответ 01 80 …" and the like.
QString stepLine(const StepDone& done, std::int64_t total);
// Bytes no window of the run asked for: what waited before a send (a late reply, a
// device talking by itself) or was left after the last one.
struct StrayBytes {
    QByteArray shown;     // the first of them
    qint64 count = 0;     // all of them
    QDateTime firstAt;    // when the first came, or when they were found
    bool beforeRun = false; // they waited in the port from before the run
    bool afterLastFrame = false;
};
// "лишние байты до кадра: 01 81 00, пришли в 12:34:56.789"
QString strayBytesLine(const StrayBytes& stray);
// "case status, строка 4"
QString caseStartLine(const ScriptCase& scriptCase);
// "Сценарий: case status пройден" / "… не пройден: ожидалось …, получено … (строка 9)".
QString caseResultLine(const CaseResult& result);
// "Сценарий: шаг 3 из 10", for the progress line.
QString progressText(std::int64_t step, std::int64_t total);

struct RunTally {
    int passed = 0;
    int failed = 0; // failed, or cut short by the line
    int notRun = 0; // stopped, or never reached
};
RunTally tally(const std::vector<CaseResult>& results);
// "2 passed, 1 failed" (", 1 not run" when some were not run).
QString summaryLine(const RunTally& tally);

} // namespace testscript
