#pragma once
// A script run with no window: for a workshop's bench or a test server. It needs only a
// QCoreApplication, never a screen.

#include <QString>
#include <cstdio>
#include <optional>

namespace testscript {

// The exit codes: every case passed; a case failed; the script or the port could not be
// used (said on standard error).
inline constexpr int kRunPassed = 0;
inline constexpr int kRunFailed = 1;
inline constexpr int kRunUnusable = 2;
// Ended by SIGINT (Ctrl+C), as a shell counts it; SIGTERM ends it as unusable (2). Either
// way the step under way ends, the summary is printed and the report written, with
// the case under way an error ("прервано").
inline constexpr int kRunInterrupted = 130;

struct CommandLineRun {
    QString scriptPath;
    QString port;
    // Why the port cannot be used, found before the run (a name nothing has); empty: none.
    QString portRefusal;
    // What "{addr}" stands for until the script sets it; empty: 01.
    QString address;
    // Line speed in bit/s; none: the port's default.
    std::optional<int> baud;
    // Where the JUnit report goes; empty: no report.
    QString junitPath;
    // The reply window of a capture's every exchange, and of a script's sends before its
    // first "window"; none: the capture's own times, the line's own window.
    std::optional<int> windowMs;
    // Every window ends once its reply is complete ("window MS early").
    bool earlyWindows = false;
};

// Runs the script on the port: one line per step on `out`, each case's result, then
// "N passed, N failed". Returns the exit code.
int runScriptFromCommandLine(const CommandLineRun& options, std::FILE* out, std::FILE* err);

} // namespace testscript
