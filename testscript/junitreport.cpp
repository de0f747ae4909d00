#include "junitreport.h"

#include "runtexts.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

namespace testscript {

namespace {

QString seconds(double value)
{
    return QString::number(value, 'f', 3);
}

} // namespace

QString writeJUnitReport(const QString& path, const JUnitSuite& suite)
{
    const RunTally counts = tally(suite.results);
    int errors = 0;
    int failures = 0;
    for (const CaseResult& result : suite.results) {
        errors += result.outcome == CaseOutcome::Broken;
        failures += result.outcome == CaseOutcome::Failed;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    const auto counters = [&] {
        xml.writeAttribute(QStringLiteral("tests"), QString::number(suite.results.size()));
        xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
        xml.writeAttribute(QStringLiteral("errors"), QString::number(errors));
        xml.writeAttribute(QStringLiteral("skipped"), QString::number(counts.notRun));
        xml.writeAttribute(QStringLiteral("time"), seconds(suite.seconds));
    };
    xml.writeAttribute(QStringLiteral("name"), suite.name);
    counters();
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), suite.name);
    counters();
    xml.writeAttribute(QStringLiteral("timestamp"), suite.startedAt.toString(Qt::ISODate));

    for (std::size_t i = 0; i < suite.results.size(); ++i) {
        const CaseResult& result = suite.results[i];
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("name"), result.name);
        xml.writeAttribute(QStringLiteral("classname"), suite.name);
        xml.writeAttribute(QStringLiteral("time"), seconds(result.seconds));
        const QString where = result.failedLine > 0 ? QStringLiteral("строка %1").arg(result.failedLine) : QString();
        switch (result.outcome) {
        case CaseOutcome::Passed:
            break;
        case CaseOutcome::Failed:
        case CaseOutcome::Broken:
            xml.writeStartElement(result.outcome == CaseOutcome::Failed ? QStringLiteral("failure")
                                                                        : QStringLiteral("error"));
            xml.writeAttribute(QStringLiteral("message"), result.failure);
            xml.writeAttribute(QStringLiteral("type"), result.outcome == CaseOutcome::Failed ? QStringLiteral("mismatch")
                                                                                             : QStringLiteral("line"));
            xml.writeCharacters(where);
            xml.writeEndElement();
            break;
        case CaseOutcome::Stopped:
        case CaseOutcome::NotRun:
            xml.writeEmptyElement(QStringLiteral("skipped"));
            xml.writeAttribute(QStringLiteral("message"), caseResultLine(result));
            break;
        }
        if (i < suite.output.size() && !suite.output[i].isEmpty())
            xml.writeTextElement(QStringLiteral("system-out"), suite.output[i].join(u'\n') + u'\n');
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit())
        return file.errorString();
    return {};
}

} // namespace testscript
