#pragma once
// Script text to a script, or the first error with its line. Nothing is sent from a
// script with an error, so every check that can be made before a run is made here:
// the keywords, the frames as the console would send them, the patterns, the numbers,
// the nesting of repeats, an expect with no send before it.

#include "capturescript.h"
#include "script.h"

#include <QString>
#include <optional>

namespace linecapture {
class ReadProgress;
}

namespace testscript {

// The longest pause and window a script may ask for, and the most steps a run may take.
inline constexpr int kLongestWindowMs = 60'000;
inline constexpr int kLongestWaitMs = 3'600'000;
inline constexpr int kMostRepeats = 1'000'000;
// Ten times a soak of a million exchanges, and about three hours at the shortest window.
// Each pass through a repeat's end counts as a step here, so that loops of nothing (or of
// loops of nothing) are bounded as well; a run's own step count leaves them out.
inline constexpr std::int64_t kMostSteps = 10'000'000;
// Repeats inside repeats; no test needs more, and the run and the checks stay shallow.
inline constexpr int kDeepestNesting = 64;
// A script file larger than this is no script; a capture of a line replayed as one may
// be larger (an hour of a busy 4800 bit/s line is under 10 MB).
inline constexpr qint64 kLargestScriptFile = 4 * 1024 * 1024;
inline constexpr qint64 kLargestReplayedCapture = 64 * 1024 * 1024;

struct ScriptParse {
    std::optional<Script> script;
    // Set when the text is refused: the line (from 1; 0 for the file as a whole) and why.
    int errorLine = 0;
    QString error;
};

// `defaultCaseName` names the case of the steps before the first "case".
ScriptParse parseScript(const QString& text, const QString& defaultCaseName);

// Reads and parses a script file (UTF-8); the default case is named after the file. A
// capture of a line (a file whose first line is a capture's) is replayed: see
// capturescript.h. `progress`, when given, is told how far the reading is, and a stop
// asked for there ends it with a refusal.
// Each replayed exchange gets the window `windows` gives it.
ScriptParse readScriptFile(const QString& path, linecapture::ReadProgress* progress = nullptr,
                           const ReplayWindows& windows = {});

// "FILE:LINE: why" (or "FILE: why" for the file as a whole), for a message or stderr.
QString scriptErrorText(const QString& path, const ScriptParse& parse);

} // namespace testscript
