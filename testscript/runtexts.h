#pragma once
// The words of a run, one builder each, so that the window's log, the command line and
// the report say the same thing.

#include "scriptrun.h"

#include <QString>
#include <vector>

namespace testscript {

// "шаг 3 из 10, строка 7: send 60 01 81 * → 60 01 81 FB, ответ 01 80 …" and the like.
QString stepLine(const StepDone& done, std::int64_t total);
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
