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

struct CommandLineRun {
    QString scriptPath;
    QString port;
    // What "{addr}" stands for until the script sets it; empty: 01.
    QString address;
    // Line speed in bit/s; none: the port's default.
    std::optional<int> baud;
    // Where the JUnit report goes; empty: no report.
    QString junitPath;
};

// Runs the script on the port: one line per step on `out`, each case's result, then
// "N passed, N failed". Returns the exit code.
int runScriptFromCommandLine(const CommandLineRun& options, std::FILE* out, std::FILE* err);

} // namespace testscript
