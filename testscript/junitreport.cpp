#include "junitreport.h"

#include "runtexts.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace testscript {

namespace {

QString seconds(double value)
{
    return QString::number(value, 'f', 3);
}

void writeCase(QXmlStreamWriter& xml, const QString& suiteName, const CaseResult& result, const QStringList& output)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), result.name);
    xml.writeAttribute(QStringLiteral("classname"), suiteName);
    xml.writeAttribute(QStringLiteral("time"), seconds(result.seconds));
    const QString where = result.failedLine > 0 ? QStringLiteral("строка %1").arg(result.failedLine) : QString();
    switch (result.outcome) {
    case CaseOutcome::Passed:
        break;
    case CaseOutcome::Failed:
    case CaseOutcome::Broken:
        xml.writeStartElement(result.outcome == CaseOutcome::Failed ? QStringLiteral("failure") : QStringLiteral("error"));
        xml.writeAttribute(QStringLiteral("message"), result.failure);
        xml.writeAttribute(QStringLiteral("type"),
                           result.outcome == CaseOutcome::Failed ? QStringLiteral("mismatch") : QStringLiteral("line"));
        xml.writeCharacters(where);
        xml.writeEndElement();
        break;
    case CaseOutcome::Stopped:
    case CaseOutcome::NotRun:
        xml.writeEmptyElement(QStringLiteral("skipped"));
        xml.writeAttribute(QStringLiteral("message"), caseResultLine(result));
        break;
    }
    if (!output.isEmpty())
        xml.writeTextElement(QStringLiteral("system-out"), output.join(u'\n') + u'\n');
    xml.writeEndElement();
}

} // namespace

QString junitReportPathProblem(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("не указан файл");
    const QFileInfo info(path);
    // What the name leads to, links followed: a link to a FIFO is a FIFO.
    if (info.exists()) {
        if (info.isDir())
            return QStringLiteral("это папка, а не файл");
        if (!info.isFile())
            return QStringLiteral("это не обычный файл (канал FIFO, устройство или сокет): отчёт его не заменит");
        if (!info.isWritable())
            return QStringLiteral("файл только для чтения");
    } else if (info.isSymLink()) {
        return QStringLiteral("ссылка ведёт в никуда");
    }
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists())
        return QStringLiteral("нет папки %1").arg(QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isDir())
        return QStringLiteral("%1 — не папка").arg(QDir::toNativeSeparators(folder.filePath()));
    // The report takes its name by a rename in its folder, which must take new files.
    if (!folder.isWritable())
        return QStringLiteral("в папку %1 нельзя записывать").arg(QDir::toNativeSeparators(folder.filePath()));
    return {};
}

JUnitReport::JUnitReport(QString path, QString suiteName)
    : path_(std::move(path))
    , suiteName_(std::move(suiteName))
{
}

JUnitReport::~JUnitReport() = default;

QString JUnitReport::begin()
{
    if (const QString problem = junitReportPathProblem(path_); !problem.isEmpty())
        return problem;
    body_ = std::make_unique<QTemporaryFile>(QDir(QDir::tempPath()).filePath(QStringLiteral("qldixw-report-XXXXXX")));
    if (!body_->open())
        return QStringLiteral("нет места для черновика отчёта: %1").arg(body_->errorString());
    xml_ = std::make_unique<QXmlStreamWriter>(body_.get());
    xml_->setAutoFormatting(true);
    return {};
}

void JUnitReport::addCase(const CaseResult& result, const QStringList& output)
{
    if (!xml_)
        return;
    ++tests_;
    failures_ += result.outcome == CaseOutcome::Failed;
    errors_ += result.outcome == CaseOutcome::Broken;
    skipped_ += result.outcome == CaseOutcome::Stopped || result.outcome == CaseOutcome::NotRun;
    writeCase(*xml_, suiteName_, result, output);
}

QString JUnitReport::finish(const QDateTime& startedAt, double seconds)
{
    if (!xml_ || !body_)
        return QStringLiteral("отчёт не начат");
    // A FIFO or a device put at the name during the run is not replaced either.
    if (const QString problem = junitReportPathProblem(path_); !problem.isEmpty())
        return problem;
    if (xml_->hasError() || !body_->flush() || !body_->seek(0))
        return QStringLiteral("черновик отчёта не записан: %1").arg(body_->errorString());

    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    const auto counters = [&] {
        xml.writeAttribute(QStringLiteral("tests"), QString::number(tests_));
        xml.writeAttribute(QStringLiteral("failures"), QString::number(failures_));
        xml.writeAttribute(QStringLiteral("errors"), QString::number(errors_));
        xml.writeAttribute(QStringLiteral("skipped"), QString::number(skipped_));
        xml.writeAttribute(QStringLiteral("time"), testscript::seconds(seconds));
    };
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), suiteName_);
    counters();
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), suiteName_);
    counters();
    xml.writeAttribute(QStringLiteral("timestamp"), startedAt.toString(Qt::ISODate));
    // Closes the start tag: the cases follow as they were written during the run.
    xml.writeCharacters(QString());
    while (!body_->atEnd()) {
        const QByteArray chunk = body_->read(64 * 1024);
        if (chunk.isEmpty() || file.write(chunk) != chunk.size())
            return file.errorString();
    }
    xml.writeCharacters(QStringLiteral("\n"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit())
        return file.errorString();
    return {};
}

QString writeJUnitReport(const QString& path, const JUnitSuite& suite)
{
    JUnitReport report(path, suite.name);
    if (const QString problem = report.begin(); !problem.isEmpty())
        return problem;
    for (std::size_t i = 0; i < suite.results.size(); ++i)
        report.addCase(suite.results[i], i < suite.output.size() ? suite.output[i] : QStringList());
    return report.finish(suite.startedAt, suite.seconds);
}

} // namespace testscript
