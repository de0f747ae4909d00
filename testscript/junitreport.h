#pragma once
// The run as a JUnit XML report, the form test servers read: one suite for the script,
// one test case per case, a failure with what was expected and what came, an error for
// a case the line cut short, and skipped for a case not run.

#include "scriptrun.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace testscript {

struct JUnitSuite {
    QString name;
    QDateTime startedAt;
    double seconds = 0;
    std::vector<CaseResult> results;
    // The step lines of each case, in the order of results (may be shorter).
    std::vector<QStringList> output;
};

// Writes the report whole or not at all; the reason when it was not written.
QString writeJUnitReport(const QString& path, const JUnitSuite& suite);

} // namespace testscript
