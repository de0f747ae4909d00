#include "commandlinerun.h"

#include "commtypes.h"
#include "controlleraddress.h"
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

#include <exception>

namespace testscript {

namespace {

void print(std::FILE* to, const QString& line)
{
    std::fputs((line + u'\n').toUtf8().constData(), to);
    std::fflush(to);
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

int run(const CommandLineRun& options, std::FILE* out, std::FILE* err)
{
    const auto unusable = [err](const QString& why) {
        print(err, QStringLiteral("qldixw: ") + why);
        return kRunUnusable;
    };

    ScriptParse parse = readScriptFile(options.scriptPath);
    if (!parse.script)
        return unusable(scriptErrorText(options.scriptPath, parse));
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

    ScriptDriver driver(line);
    std::vector<QStringList> output;
    QObject::connect(&driver, &ScriptDriver::caseStarted, [&](const ScriptCase& scriptCase) {
        output.emplace_back();
        print(out, caseStartLine(scriptCase));
    });
    QObject::connect(&driver, &ScriptDriver::stepDone, [&](const StepDone& done, qint64 total) {
        const QString text = stepLine(done, total);
        output.back() << text;
        print(out, QStringLiteral("  ") + text);
    });
    QObject::connect(&driver, &ScriptDriver::caseFinished,
                     [&](const CaseResult& result) { print(out, caseResultLine(result)); });
    QEventLoop loop;
    QObject::connect(&driver, &ScriptDriver::finished, &loop, &QEventLoop::quit);

    const QDateTime startedAt = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    QString why;
    if (!driver.start(std::move(*parse.script), address, &why))
        return unusable(QStringLiteral("порт %1: %2").arg(options.port, why));
    loop.exec();
    session.close();

    const std::vector<CaseResult>& results = driver.results();
    const RunTally counts = tally(results);
    print(out, summaryLine(counts));

    int code = counts.failed > 0 || counts.notRun > 0 ? kRunFailed : kRunPassed;
    for (const CaseResult& result : results)
        if (result.outcome == CaseOutcome::Broken)
            code = unusable(QStringLiteral("порт %1: %2").arg(options.port, result.failure));
    if (!options.junitPath.isEmpty()) {
        const JUnitSuite suite{.name = QFileInfo(options.scriptPath).completeBaseName(),
                               .startedAt = startedAt,
                               .seconds = double(clock.nsecsElapsed()) / 1e9,
                               .results = results,
                               .output = std::move(output)};
        const QString failure = writeJUnitReport(options.junitPath, suite);
        if (!failure.isEmpty())
            code = unusable(QStringLiteral("отчёт %1 не записан: %2").arg(options.junitPath, failure));
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
