#include "commandlinerun.h"

#include "backgroundread.h"
#include "caseoutput.h"
#include "commtypes.h"
#include "consoletext.h"
#include "controlleraddress.h"
#include "interruptsignals.h"
#include "junitreport.h"
#include "portsession.h"
#include "runtexts.h"
#include "scriptdriver.h"
#include "scriptparser.h"
#include "transport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>

#include <csignal>
#include <exception>

namespace testscript {

namespace {

void print(std::FILE* to, const QString& line)
{
    writeConsoleText(to, line + u'\n');
}

std::optional<commport::TBaudRate> baudRate(int bitsPerSecond)
{
    for (int i = 0; i <= static_cast<int>(commport::TBaudRate::cbr256000); ++i) {
        const auto rate = static_cast<commport::TBaudRate>(i);
        if (commport::BaudRateValue(rate) == static_cast<unsigned>(bitsPerSecond))
            return rate;
    }
    return std::nullopt;
}

QString baudRates()
{
    QStringList rates;
    for (int i = 0; i <= static_cast<int>(commport::TBaudRate::cbr256000); ++i)
        rates << QString::number(commport::BaudRateValue(static_cast<commport::TBaudRate>(i)));
    return rates.join(QStringLiteral(", "));
}

// The report of a run that never began: one case, in error, with why.
void writeRefusedReport(const CommandLineRun& options, const QString& why, int line, std::FILE* err)
{
    if (options.junitPath.isEmpty())
        return;
    CaseResult refused;
    refused.name = QFileInfo(options.scriptPath).fileName();
    refused.outcome = CaseOutcome::Broken;
    refused.failure = why;
    refused.failedLine = line;
    const JUnitSuite suite{.name = QFileInfo(options.scriptPath).completeBaseName(),
                           .startedAt = QDateTime::currentDateTime(),
                           .seconds = 0,
                           .results = {refused},
                           .output = {}};
    const QString failure = writeJUnitReport(options.junitPath, suite);
    if (!failure.isEmpty())
        print(err, QStringLiteral("qldixw: отчёт %1 не записан: %2").arg(options.junitPath, failure));
}

// A file past this size (only a capture replayed can be) takes seconds to check: its
// reading says how far it has come.
constexpr qint64 kFileToReadWithProgress = 4 * 1024 * 1024;

// Reads and checks the script or capture. A big one is read beside the event loop, with a
// line on `err` each tenth of the file, and a signal gives the reading up.
ScriptParse readScript(const CommandLineRun& options, const ReplayWindows& windows, InterruptSignals& interrupts,
                       std::FILE* err)
{
    const qint64 size = QFileInfo(options.scriptPath).size();
    if (size <= kFileToReadWithProgress)
        return readScriptFile(options.scriptPath, nullptr, windows);
    print(err, QStringLiteral("qldixw: чтение файла %1 (%2 МБ)").arg(options.scriptPath).arg(double(size) / (1 << 20), 0, 'f', 1));
    ScriptParse parse;
    const QString path = options.scriptPath;
    linecapture::BackgroundRead reading(
        [&parse, path, windows](linecapture::ReadProgress& progress) { parse = readScriptFile(path, &progress, windows); });
    QEventLoop loop;
    int nextTenth = 10;
    QObject::connect(&reading, &linecapture::BackgroundRead::progressed, [&](int percent) {
        if (percent < nextTenth || percent >= 100)
            return;
        print(err, QStringLiteral("qldixw: чтение файла: %1 %").arg(percent));
        nextTenth = percent / 10 * 10 + 10;
    });
    QObject::connect(&reading, &linecapture::BackgroundRead::finished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupts, &InterruptSignals::interrupted, &loop, [&] { reading.progress().requestStop(); });
    loop.exec();
    return parse;
}

int interruptedExitCode(int signalNumber)
{
    return signalNumber == SIGINT ? kRunInterrupted : kRunUnusable;
}

QString interruptedText(int signalNumber)
{
    return QStringLiteral("прервано (%1)").arg(signalNumber == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"));
}

int run(const CommandLineRun& options, std::FILE* out, std::FILE* err)
{
    // Ctrl+C or a test server's time-out ends the step under way and keeps the results.
    InterruptSignals interrupts;

    // A report that could not be written is known before anything is sent.
    if (!options.junitPath.isEmpty()) {
        if (const QString problem = junitReportPathProblem(options.junitPath); !problem.isEmpty()) {
            print(err, QStringLiteral("qldixw: отчёт %1 не записать: %2").arg(options.junitPath, problem));
            return kRunUnusable;
        }
    }
    const auto unusable = [&](const QString& why, int line = 0) {
        print(err, QStringLiteral("qldixw: ") + why);
        writeRefusedReport(options, why, line, err);
        return kRunUnusable;
    };

    const ReplayWindows windows{.lineWindowMs = transport::kReplyWindowMs, .windowMs = options.windowMs};
    ScriptParse parse = readScript(options, windows, interrupts, err);
    if (interrupts.caught() != 0) {
        unusable(interruptedText(interrupts.caught()) + QStringLiteral(" до начала сценария"));
        return interruptedExitCode(interrupts.caught());
    }
    if (!parse.script)
        return unusable(scriptErrorText(options.scriptPath, parse), parse.errorLine);
    std::optional<QString> address = QStringLiteral("01");
    if (!options.address.isEmpty()) {
        address = transport::frameAddressText(options.address);
        if (!address)
            return unusable(QStringLiteral("адрес «%1»: нужны одна или две шестнадцатеричные цифры").arg(options.address));
    }
    std::optional<commport::TBaudRate> rate;
    if (options.baud) {
        rate = baudRate(*options.baud);
        if (!rate)
            return unusable(QStringLiteral("скорость %1 не поддерживается; возможны %2").arg(*options.baud).arg(baudRates()));
    }
    if (options.port.isEmpty())
        return unusable(QStringLiteral("не указан порт: --port ИМЯ"));
    if (!options.portRefusal.isEmpty())
        return unusable(options.portRefusal);

    portsession::PortSession session;
    // Reconnection is the window's business: a run whose device vanished is over.
    session.setAutomaticReconnect(false);
    if (rate)
        session.comm().SetBaudRate(*rate);
    transport::Transport line(session);
    // A network line is waited for, within the connect's own limits, as the window waits.
    const portsession::OpenResult opened = session.openAndWait(options.port);
    if (opened.outcome != portsession::OpenResult::Outcome::Opened)
        return unusable(opened.failure.isEmpty() ? QStringLiteral("порт %1 не открыть").arg(options.port) : opened.failure);
    if (interrupts.caught() != 0) {
        unusable(interruptedText(interrupts.caught()) + QStringLiteral(" до начала сценария"));
        return interruptedExitCode(interrupts.caught());
    }

    const QString suiteName = QFileInfo(options.scriptPath).completeBaseName();
    std::optional<JUnitReport> report;
    if (!options.junitPath.isEmpty()) {
        report.emplace(options.junitPath, suiteName);
        if (const QString problem = report->begin(); !problem.isEmpty())
            return unusable(QStringLiteral("отчёт %1 не записать: %2").arg(options.junitPath, problem));
    }

    ScriptDriver driver(line);
    // The case under way: its lines, kept for the report until the next case begins,
    // since bytes found after its last step still belong to it.
    std::optional<CaseResult> ended;
    CaseOutput caseOutput;
    std::size_t reported = 0;
    const auto reportEnded = [&] {
        if (ended && report)
            report->addCase(*ended, caseOutput.lines());
        reported += ended ? 1 : 0;
        ended.reset();
        caseOutput = CaseOutput();
    };
    QObject::connect(&driver, &ScriptDriver::caseStarted, [&](const ScriptCase& scriptCase) {
        reportEnded();
        print(out, caseStartLine(scriptCase));
    });
    QObject::connect(&driver, &ScriptDriver::stepDone, [&](const StepDone& done, qint64 total) {
        const QString text = stepLine(done, total);
        caseOutput.add(text, !done.matched);
        print(out, QStringLiteral("  ") + text);
    });
    QObject::connect(&driver, &ScriptDriver::strayBytes, [&](const StrayBytes& stray) {
        const QString text = strayBytesLine(stray);
        caseOutput.add(text, true);
        print(out, QStringLiteral("  ") + text);
    });
    QObject::connect(&driver, &ScriptDriver::caseFinished, [&](const CaseResult& result) {
        ended = result;
        print(out, caseResultLine(result));
    });
    QEventLoop loop;
    QObject::connect(&driver, &ScriptDriver::finished, &loop, &QEventLoop::quit);
    QObject::connect(&interrupts, &InterruptSignals::interrupted, &driver,
                     [&](int signalNumber) { driver.abort(interruptedText(signalNumber)); });

    const QDateTime startedAt = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    QString why;
    const RunOptions runOptions{.windowMs = options.windowMs, .earlyWindows = options.earlyWindows};
    if (!driver.start(std::move(*parse.script), address, runOptions, &why))
        return unusable(QStringLiteral("порт %1: %2").arg(options.port, why));
    loop.exec();
    session.close();

    const std::vector<CaseResult>& results = driver.results();
    const RunTally counts = tally(results);
    print(out, summaryLine(counts));

    int code = counts.failed > 0 || counts.notRun > 0 ? kRunFailed : kRunPassed;
    if (interrupts.caught() != 0) {
        print(err, QStringLiteral("qldixw: сценарий ") + interruptedText(interrupts.caught()));
        code = interruptedExitCode(interrupts.caught());
    } else {
        for (const CaseResult& result : results)
            if (result.outcome == CaseOutcome::Broken) {
                print(err, QStringLiteral("qldixw: порт %1: %2").arg(options.port, result.failure));
                code = kRunUnusable;
            }
    }
    if (report) {
        reportEnded();
        for (std::size_t i = reported; i < results.size(); ++i)
            report->addCase(results[i], {});
        const QString failure = report->finish(startedAt, double(clock.nsecsElapsed()) / 1e9);
        if (!failure.isEmpty()) {
            print(err, QStringLiteral("qldixw: отчёт %1 не записан: %2").arg(options.junitPath, failure));
            code = kRunUnusable;
        }
    }
    return code;
}

} // namespace

int runScriptFromCommandLine(const CommandLineRun& options, std::FILE* out, std::FILE* err)
{
    try {
        return run(options, out, err);
    } catch (const std::exception& error) {
        // The serial component's refusals (a line setting the device does not take).
        print(err, QStringLiteral("qldixw: ") + QString::fromLocal8Bit(error.what()));
        return kRunUnusable;
    }
}

} // namespace testscript
