#pragma once
// The run as a JUnit XML report, the form test servers read: one suite for the script,
// one test case per case, a failure with what was expected and what came, an error for
// a case the line cut short, and skipped for a case not run.
//
// The report is written as the run goes: each case, once it ended, goes to a scratch
// file beside nothing the user named, so a run of any length keeps only the case under
// way in memory; the report itself takes its name only when it is whole.

#include "caseoutput.h"
#include "scriptrun.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <QXmlStreamWriter>
#include <memory>
#include <vector>

namespace testscript {

// Why no report can be written at `path`, or empty: checked before anything is sent,
// so a run never ends with its report refused. The folder must exist and take files,
// and the name must be free or a regular file: a directory, a FIFO, a device or a
// socket named as the report is refused, and never replaced by a file.
QString junitReportPathProblem(const QString& path);

class JUnitReport {
public:
    // `suiteName`: the script's, which test servers group its cases by.
    JUnitReport(QString path, QString suiteName);
    ~JUnitReport();
    JUnitReport(const JUnitReport&) = delete;
    JUnitReport& operator=(const JUnitReport&) = delete;

    // Checks the path and makes the scratch file; why not, or empty.
    QString begin();
    // A case that ended (or was never run), with the lines kept of it.
    void addCase(const CaseResult& result, const QStringList& output);
    // Writes the whole report at its path; why not, or empty.
    QString finish(const QDateTime& startedAt, double seconds);

private:
    QString path_;
    QString suiteName_;
    std::unique_ptr<QTemporaryFile> body_;
    std::unique_ptr<QXmlStreamWriter> xml_;
    int tests_ = 0;
    int failures_ = 0;
    int errors_ = 0;
    int skipped_ = 0;
};

struct JUnitSuite {
    QString name;
    QDateTime startedAt;
    double seconds = 0;
    std::vector<CaseResult> results;
    // The step lines of each case, in the order of results (may be shorter).
    std::vector<QStringList> output;
};

// Writes a report of cases known at once (a run refused before it began) whole or not
// at all; the reason when it was not written.
QString writeJUnitReport(const QString& path, const JUnitSuite& suite);

} // namespace testscript
