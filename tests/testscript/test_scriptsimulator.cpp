// Test scripts against the device simulator as its own process on a pseudo-terminal:
// the real program run from the command line with no screen at all (exit codes, its
// lines, the JUnit report), and a run in the window with its progress, its stop button
// and the families' controls locked out.

#include "consoletestbench.h"
#include "dispenserfamily.h"
#include "frametext.h"
#include "ptypair.h"
#include "replayoptionsdialog.h"
#include "serialserver.h"
#include "simulatorprocess.h"
#include "virtualports.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>

#include <csignal>
#include <sys/stat.h>

using namespace qldixw::testing;

namespace {

constexpr int kRunTimeoutMs = 20000;

void writeFile(const QString& path, const QString& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

struct ProgramRun {
    int exitCode = -1;
    QStringList out;
    QString err;
};

QProcessEnvironment screenless()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_OFFSCREEN_NO_GLX"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

// The program as a workshop's bench or a test server starts it: no screen of any kind
// reachable, and no platform asked for.
ProgramRun runProgram(const QStringList& arguments, int timeoutMs = kRunTimeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(screenless());
    process.start(QStringLiteral(QLDIXW_PROGRAM_PATH), arguments);
    ProgramRun run;
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        run.err = QStringLiteral("did not end: ") + QString::fromUtf8(process.readAllStandardError());
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The JUnit report as a test server reads it: "name=outcome" per test case, and the
// suite's counters.
struct Report {
    QStringList cases;
    QString counters; // "tests failures errors skipped"
    QStringList failureMessages;
    QMap<QString, QString> output; // each case's system-out
};

Report readReport(const QString& path)
{
    Report report;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return report;
    QXmlStreamReader xml(&file);
    QString name;
    QString outcome;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto a = xml.attributes();
            if (xml.name() == u"testsuite") {
                report.counters = QStringList{a.value(QStringLiteral("tests")).toString(), a.value(QStringLiteral("failures")).toString(),
                                              a.value(QStringLiteral("errors")).toString(), a.value(QStringLiteral("skipped")).toString()}
                                      .join(u' ');
            } else if (xml.name() == u"testcase") {
                name = a.value(QStringLiteral("name")).toString();
                outcome = QStringLiteral("passed");
            } else if (xml.name() == u"failure" || xml.name() == u"error" || xml.name() == u"skipped") {
                outcome = xml.name().toString();
                if (xml.name() != u"skipped")
                    report.failureMessages << a.value(QStringLiteral("message")).toString();
            } else if (xml.name() == u"system-out") {
                report.output[name] = xml.readElementText();
            }
        } else if (xml.isEndElement() && xml.name() == u"testcase") {
            report.cases << name + u'=' + outcome;
        }
    }
    if (xml.hasError())
        report.cases << QStringLiteral("XML error: ") + xml.errorString();
    return report;
}

QString example(const char* name)
{
    QFile file(QStringLiteral(QLDIXW_EXAMPLES_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("missing example");
}

} // namespace

class TestScriptSimulator : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void inTheWindow_data();
    void inTheWindow();
    void verdicts_data();
    void verdicts();
    void reportCheckedBeforeSending_data();
    void reportCheckedBeforeSending();
    void interrupted_data();
    void interrupted();
    void replayInTheWindow_data();
    void replayInTheWindow();
    void settingsLoopInTheWindow();
    void bigCaptureSaysHowFarItRead();
};

void TestScriptSimulator::commandLine_data()
{
    QTest::addColumn<QStringList>("simulator"); // empty: no simulator, the port leads nowhere
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("cases");  // from the report; empty: no report written
    QTest::addColumn<QString>("counters");   // tests failures errors skipped
    QTest::addColumn<QString>("said");       // the last line of stdout, or a part of stderr

    const QStringList dix{"--family", "dix"};
    QTest::newRow("dispenser sample: wildcards, checksums, a repeat")
        << dix << example("dispenser.qlt") << QStringList{} << 0
        << QStringList{"статус рукава 1=passed", "статус устойчив=passed", "цена рукава 1=passed",
                       "сумматоры рукава 1=passed", "кадр с неверной суммой без ответа=passed"}
        << "5 0 0 0" << "5 passed, 0 failed";
    QTest::newRow("memory sample: reads with ...")
        << QStringList{"--family", "ql"} << example("memory.qlt") << QStringList{} << 0
        << QStringList{"чтение IR 000010=passed", "запись и чтение IM 000100=passed", "адрес вне области=passed"}
        << "3 0 0 0" << "3 passed, 0 failed";
    QTest::newRow("meter sample")
        << QStringList{"--family", "erk"} << example("meter.qlt") << QStringList{} << 0
        << QStringList{"напряжение фаз=passed", "поправка фазы 1=passed", "опрос тока=passed", "адрес счётчика=passed"}
        << "4 0 0 0" << "4 passed, 0 failed";
    QTest::newRow("second case fails, third still runs")
        << dix
        << "case one\nsend 60 01 81 *\nexpect 01 81 ... *\n"
           "case two\nsend 60 01 81 *\nexpect 01 82 ... *\nsend 60 01 81 *\n"
           "case three\nrepeat 2\nsend 60 01 81 *\nexpect 01 81 00 ?? ?? ?? ?? *\nend\n"
        << QStringList{} << 1 << QStringList{"one=passed", "two=failure", "three=passed"} << "3 1 0 0"
        << "2 passed, 1 failed";
    QTest::newRow("expect nothing from a silent device")
        << QStringList{"--family", "dix", "--silent"} << "window 100\nsend 60 01 81 *\nexpect nothing\n"
        << QStringList{} << 0 << QStringList{"s=passed"} << "1 0 0 0" << "1 passed, 0 failed";
    QTest::newRow("a reply expected from a silent device")
        << QStringList{"--family", "dix", "--silent"} << "window 100\nsend 60 01 81 *\nexpect 01 ...\n"
        << QStringList{} << 1 << QStringList{"s=failure"} << "1 1 0 0" << "0 passed, 1 failed";
    QTest::newRow("the address and the speed from the command line")
        << QStringList{"--family", "dix", "--address", "05"} << "send 60 {addr} 81 *\nexpect {addr} 81 ... *\n"
        << QStringList{"--address", "5", "--baud", "19200"} << 0 << QStringList{"s=passed"} << "1 0 0 0"
        << "1 passed, 0 failed";
    // A line monitor's capture replayed against the device: A's frames sent as they were,
    // B's replies expected byte for byte (a reply split in two chunks is one reply), a
    // reply heard with lost bytes not compared.
    const QString capture = QStringLiteral("QLDIXw capture 1\nstart 2026-12-08T01:00:00.000000+03:00\nprotocol dix\n"
                                           "gap 3.5\n0.000000 A settings 4800 8N2\n0.000000 B settings 4800 8N2\n");
    QTest::newRow("a capture replayed: a reply that differs today fails its exchange")
        << dix
        << capture + "1.000000 A 60 01 81 FB\n1.030000 B 01 81 00 00 00\n1.035000 B 00 00 1F\n"
                     "2.000000 A 60 01 59 4A\n2.030000 B 01 59 00 45 67 00 00 47\n"
                     "3.000000 A 60 01 81 00\n"
                     "4.000000 A 60 01 81 FB\n4.010000 B overrun\n4.030000 B 01 81 00\n"
        << QStringList{} << 1
        << QStringList{"запрос 1 в 1.000000 с=passed", "запрос 2 в 2.000000 с=failure", "запрос 3 в 3.000000 с=passed",
                       "запрос 4 в 4.000000 с=passed"}
        << "4 1 0 0" << "3 passed, 1 failed";
    QTest::newRow("a capture with a bad line is refused with the capture's line")
        << dix << capture + "1.000000 A 60 01 8\n" << QStringList{} << 2 << QStringList{} << ""
        << "s.qlt:7: байт «8»";
    QTest::newRow("a capture with nothing the station sent")
        << dix << capture + "1.030000 B 01 81 00\n" << QStringList{} << 2 << QStringList{} << ""
        << "воспроизводить нечего";
    QTest::newRow("a bad script is refused with its line")
        << dix << "send 60 01 81 *\n\nexpect 01 8\n" << QStringList{} << 2 << QStringList{} << ""
        << "s.qlt:3: образец «01 8»";
    QTest::newRow("a port that leads nowhere") << QStringList{} << "send 60 01 81 *\n" << QStringList{} << 2
                                               << QStringList{} << "" << "не найден";
    QTest::newRow("a bad address") << dix << "send 60 01 81 *\n" << QStringList{"--address", "G1"} << 2
                                   << QStringList{} << "" << "адрес «G1»";
    QTest::newRow("a speed the line has not") << dix << "send 60 01 81 *\n" << QStringList{"--baud", "1234"} << 2
                                              << QStringList{} << "" << "скорость 1234 не поддерживается";
}

void TestScriptSimulator::commandLine()
{
    QFETCH(QStringList, simulator);
    QFETCH(QString, script);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QStringList, cases);
    QFETCH(QString, counters);
    QFETCH(QString, said);

    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("port"));
    std::unique_ptr<SimulatorProcess> sim;
    if (!simulator.isEmpty()) {
        sim = std::make_unique<SimulatorProcess>(port, simulator);
        QVERIFY(sim->started());
    }
    const QString scriptPath = dir.filePath(QStringLiteral("s.qlt"));
    const QString reportPath = dir.filePath(QStringLiteral("report.xml"));
    writeFile(scriptPath, script);

    const ProgramRun run = runProgram(QStringList{"--script", scriptPath, "--port", port, "--junit", reportPath} + options);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err + run.out.join(u'\n')));
    if (exitCode == 2) {
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        // A run refused before anything was sent still has its report: one case in
        // error, named after the file, with why (and the line, for a script's fault).
        const Report report = readReport(reportPath);
        QCOMPARE(report.cases, QStringList{QStringLiteral("s.qlt=error")});
        QCOMPARE(report.counters, QStringLiteral("1 0 1 0"));
        QVERIFY2(report.failureMessages.value(0).contains(said), qPrintable(report.failureMessages.value(0)));
        return;
    }
    QCOMPARE(run.out.value(run.out.size() - 1), said);
    // One line per step, each numbered of the whole run.
    const QStringList steps = run.out.filter(QStringLiteral("  шаг "));
    QVERIFY(!steps.isEmpty());
    QVERIFY2(steps.last().contains(QStringLiteral(" из %1,").arg(steps.size()))
                 || run.out.filter(QStringLiteral("не пройден")).size() > 0,
             qPrintable(steps.last()));
    const Report report = readReport(reportPath);
    QCOMPARE(report.cases, cases);
    QCOMPARE(report.counters, counters);
    for (const QString& message : report.failureMessages)
        QVERIFY2(message.startsWith(QStringLiteral("ожидалось ")) && message.contains(QStringLiteral(", получено ")),
                 qPrintable(message));
}

void TestScriptSimulator::inTheWindow_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("log");    // the mode's log pane
    QTest::addColumn<QString>("ending"); // "end", "stop" or "close port"
    QTest::addColumn<QStringList>("results");

    const QStringList twoCases{"Сценарий: case polled пройден",
                               "Сценарий: case wrong не пройден: ожидалось 01 71 *, получено 01 00 00 "};
    QTest::newRow("to the end, dispenser mode") << int(ModeDIX) << "dannieListBox1" << "end" << twoCases;
    QTest::newRow("to the end, meter mode") << int(ModeERK2) << "Memo_log" << "end" << twoCases;
    QTest::newRow("stopped") << int(ModeDIX) << "dannieListBox1" << "stop"
                             << QStringList{"Сценарий: case polled пройден", "Сценарий: case wrong остановлен"};
    QTest::newRow("port closed") << int(ModeDIX) << "dannieListBox1" << "close port"
                                 << QStringList{"Сценарий: case polled пройден",
                                                "Сценарий: case wrong прерван: порт закрыт"};
}

// A click on a family's button during a run, and the family's handler called straight,
// send nothing: the frames on the line are the script's and only theirs. The run's
// steps and results go to the mode's log; stopping it or closing the port ends it at
// once, and the panels come back.
void TestScriptSimulator::inTheWindow()
{
    QFETCH(int, mode);
    QFETCH(QString, log);
    QFETCH(QString, ending);
    QFETCH(QStringList, results);

    ConsoleTestBench bench;
    SimulatorProcess sim(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                         {QStringLiteral("--family"), QStringLiteral("dix")});
    QVERIFY(sim.started());
    bench.selectMode(Mode(mode));
    QVERIFY(bench.openPort());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("window.qlt"));
    // The totaliser read, never the status request the button sends; a pause between
    // windows, when only the hold on the line keeps the families' frames out.
    const QString polled = QStringLiteral("case polled\nwindow 150\nrepeat 2\nsend 60 01 71 *\nexpect 01 ... *\nend\n"
                                          "wait 1000\nrepeat 2\nsend 60 01 71 *\nexpect 01 ... *\nend\n");
    writeFile(path, polled + (ending == u"end" ? QStringLiteral("case wrong\nsend 60 01 71 *\nexpect 01 71 *\n")
                                               : QStringLiteral("case wrong\nwait 60000\nsend 60 01 71 *\n")));
    mainwindow::MenuDialogs dialogs = mainwindow::systemMenuDialogs();
    dialogs.openFileName = [&](QWidget*, const QString& filter) {
        return filter.contains(QStringLiteral("*.qlt")) ? path : QString();
    };
    bench.window().setMenuDialogs(dialogs);
    QList<QByteArray> written;
    QObject::connect(&bench.line(), &transport::Transport::frameWritten,
                     [&](const QByteArray& frame) { written << frame; });

    auto* run = bench.window().findChild<QAction*>(QStringLiteral("RunScript"));
    auto* progress = bench.control<QLabel>(QStringLiteral("ScriptProgress"));
    auto* stop = bench.control<QPushButton>(QStringLiteral("StopScript"));
    auto* status = bench.control<QPushButton>(QStringLiteral("StatusButton"));
    auto* family = bench.window().findChild<dispenser::DispenserFamily*>();
    QVERIFY(run && progress && stop && status && family);
    QCOMPARE(run->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    QVERIFY(!stop->isVisible());

    run->trigger();
    // The file is read beside the window first.
    QVERIFY2(progress->text().startsWith(QStringLiteral("Чтение файла")), qPrintable(progress->text()));
    QVERIFY(stop->isVisible() && stop->isEnabled());
    QVERIFY(!run->isEnabled());
    QVERIFY(!bench.control<QWidget>(QStringLiteral("FamilyArea"))->isEnabled());
    QVERIFY(!bench.control<QGroupBox>(QStringLiteral("prog"))->isEnabled());
    QVERIFY(!status->isEnabled());
    // Mid-run, in the pause between two windows.
    QTRY_VERIFY_WITH_TIMEOUT(progress->text() == QStringLiteral("Сценарий: шаг 6 из 12"), kRunTimeoutMs);
    QCOMPARE(progress->accessibleName(), progress->text());
    QVERIFY(!bench.line().windowOpen());
    QTest::mouseClick(status, Qt::LeftButton);
    family->StatusButtonClick(); // as a shortcut or a timer would, past the disabled button
    bench.line().obrabZapstr(QStringLiteral("60 01 81 *"));
    QCOMPARE(written.size(), 2);

    if (ending != u"end")
        QTRY_VERIFY_WITH_TIMEOUT(progress->text() == QStringLiteral("Сценарий: шаг 11 из 12"), kRunTimeoutMs);
    if (ending == u"stop")
        QTest::mouseClick(stop, Qt::LeftButton);
    else if (ending == u"close port")
        QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("ClosePort")), Qt::LeftButton);
    // Stopped or cut off, the run ends at once; run to the end, it ends by itself.
    if (ending != u"end")
        QVERIFY(!stop->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!stop->isVisible(), kRunTimeoutMs);
    QVERIFY(run->isEnabled());
    QVERIFY(bench.control<QWidget>(QStringLiteral("FamilyArea"))->isEnabled());
    QVERIFY(status->isEnabled());

    const QStringList lines = bench.lines(log);
    QStringList caseLines;
    for (const QString& line : lines)
        if (line.startsWith(QStringLiteral("Сценарий: case "))
            && (line.contains(QStringLiteral(" пройден")) || line.contains(QStringLiteral(" остановлен"))
                || line.contains(QStringLiteral(" прерван"))))
            caseLines << line;
    QCOMPARE(caseLines.size(), results.size());
    for (qsizetype i = 0; i < results.size(); ++i)
        QVERIFY2(caseLines[i].startsWith(results[i]), qPrintable(caseLines[i]));
    QVERIFY(!lines.filter(QStringLiteral("Сценарий: шаг 2 из")).isEmpty());

    const QByteArray totaliser = QByteArray::fromHex("600171") + char(transport::frameChecksum(QByteArray::fromHex("600171")));
    QCOMPARE(written, QList<QByteArray>(ending == u"end" ? 5 : 4, totaliser));

    // The line is the families' again.
    if (ending != u"close port") {
        QVERIFY(bench.waitIdle());
        family->StatusButtonClick();
        QCOMPARE(written.size(), ending == u"end" ? 6 : 5);
    }
}

namespace {

// A capture of one status exchange whose reply came `replyMs` after the request, and a
// request with a wrong checksum the controller kept silent to.
QString slowCapture(int replyMs)
{
    const QString reply = QStringLiteral("1.%1").arg(replyMs * 1000, 6, 10, QLatin1Char('0'));
    return QStringLiteral("QLDIXw capture 1\nstart 2026-12-08T01:00:00.000000+03:00\nprotocol dix\ngap 3.5\n"
                          "0.000000 A settings 4800 8N2\n0.000000 B settings 4800 8N2\n1.000000 A 60 01 81 FB\n")
        + reply + QStringLiteral(" B 01 81 00 00 00 00 00 1F\n3.000000 A 60 01 81 00\n");
}

// "ответ через 703 мс" in a line: the milliseconds, or -1.
int replyMs(const QString& line)
{
    static const QRegularExpression time(QStringLiteral("ответ через (\\d+) мс"));
    const QRegularExpressionMatch found = time.match(line);
    return found.hasMatch() ? found.captured(1).toInt() : -1;
}

} // namespace

void TestScriptSimulator::verdicts_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("cases");
    // Parts of stdout's lines, each in a later line than the one before; "!" first: in
    // no line at all.
    QTest::addColumn<QStringList>("said");
    // Milliseconds the whole run must stay under (far from what it takes): an early
    // window must not wait its length out. 0: no bound.
    QTest::addColumn<int>("underMs");
    // The device behind Debian's ser2net on 127.0.0.1: "rfc2217", "tcp"; empty: the
    // simulator's terminal itself.
    QTest::addColumn<QString>("line");

    // A dispenser answering 300 ms late: its reply to case one comes after that case's
    // window, while case two waits; case two's own request gets no reply.
    const QStringList late{"--family", "dix", "--delay", "300"};
    const QString caseOne = QStringLiteral("case one\nwindow 100\nsend 60 {addr} 81 *\nexpect nothing\n"
                                           "case two\nwindow 500\nwait 1000\n");
    QTest::newRow("a stale reply does not pass a silent device")
        << late << caseOne + "send 60 {addr} 81 00\nexpect {addr} 81 00 ?? ?? ?? ?? *\n" << QStringList{} << 1
        << QStringList{"one=passed", "two=failure"}
        << QStringList{"case two", "лишние байты до кадра: 01 81 00 00 00 00 00 1F, пришли в ",
                       "send 60 {addr} 81 00 → 60 01 81 00, ответа нет (TimeOut)"}
        << 0 << QString();
    QTest::newRow("a stale reply does not spoil a case's own reply")
        << late << caseOne + "send 60 {addr} 81 *\nexpect {addr} 81 00 ?? ?? ?? ?? *\n" << QStringList{} << 0
        << QStringList{"one=passed", "two=passed"}
        << QStringList{"case two", "лишние байты до кадра: 01 81 00 00 00 00 00 1F",
                       "ответ 01 81 00 00 00 00 00 1F; ответ через 3", "совпало"}
        << 0 << QString();

    // A device that sends one byte more 2 ms after each complete reply.
    const QStringList trailing{"--family", "dix", "--trailing", "FF", "--trailing-after", "2"};
    const QString twice = QStringLiteral("send 60 01 81 *\nexpect 01 81 00 ?? ?? ?? ?? *\nwait 500\n"
                                         "send 60 01 81 *\nexpect 01 81 00 ?? ?? ?? ?? *\n");
    const QStringList trailingSaid{"ответ 01 81 00 00 00 00 00 1F; ответ через", "— совпало",
                                   "лишние байты до кадра: FF", "ответ 01 81 00 00 00 00 00 1F; ответ через",
                                   "— совпало", "лишние байты после последнего кадра: FF", "!1F FF"};
    QTest::newRow("an early window: a trailing byte is the next step's stray")
        << trailing << "window 8000 early\n" + twice << QStringList{} << 0 << QStringList{"s=passed"} << trailingSaid
        << 8000 << QString();
    QTest::newRow("--early makes every window early")
        << trailing << "window 8000\n" + twice << QStringList{"--early"} << 0 << QStringList{"s=passed"}
        << trailingSaid << 8000 << QString();
    QTest::newRow("without early, the window's bytes are its reply")
        << trailing << "window 300\n" + twice << QStringList{} << 1 << QStringList{"s=failure"}
        << QStringList{"ответ 01 81 00 00 00 00 00 1F FF;", "не совпало"} << 0 << QString();

    // The reply's time against "within", the device answering 400 ms after a request.
    QTest::newRow("within: under and over the reply's time")
        << QStringList{"--family", "dix", "--delay", "400"}
        << "window 3000\ncase slow\nsend 60 01 81 *\nexpect 01 81 ... * within 250\n"
           "case in time\nsend 60 01 81 *\nexpect 01 81 ... * within 1500\n"
        << QStringList{} << 1 << QStringList{"s=passed", "slow=failure", "in time=passed"}
        << QStringList{"ответ через 4", "— дольше within 250 мс", "Сценарий: case slow не пройден: ответ через 4",
                       "ответ через 4", "совпало (ответ через 4"}
        << 0 << QString();

    // A capture whose reply came 700 ms after its request, against a device as slow.
    const QStringList slow{"--family", "dix", "--delay", "700"};
    QTest::newRow("a capture replays with the windows its times ask for")
        << slow << slowCapture(700) << QStringList{} << 0
        << QStringList{"запрос 1 в 1.000000 с=passed", "запрос 2 в 3.000000 с=passed"}
        << QStringList{"window 11", "ответ 01 81 00 00 00 00 00 1F; ответ через 7", "window 500"} << 0 << QString();
    QTest::newRow("--window overrides the capture's times")
        << slow << slowCapture(700) << QStringList{"--window", "300"} << 1
        << QStringList{"запрос 1 в 1.000000 с=failure", "запрос 2 в 3.000000 с=passed"}
        << QStringList{"window 300", "получено ничего (TimeOut)", "!window 500"} << 0 << QString();

    // The same verdicts on a network line, whose bytes come in the pieces TCP makes.
    QTest::newRow("through ser2net (RFC 2217): a stale reply is stray")
        << late << caseOne + "send 60 {addr} 81 00\nexpect {addr} 81 00 ?? ?? ?? ?? *\n" << QStringList{} << 1
        << QStringList{"one=passed", "two=failure"}
        << QStringList{"case two", "лишние байты до кадра: 01 81 00 00 00 00 00 1F, пришли в ",
                       "send 60 {addr} 81 00 → 60 01 81 00, ответа нет (TimeOut)"}
        << 0 << "rfc2217";
    QTest::newRow("through ser2net (bare TCP): an early window")
        << trailing << "window 8000 early\n" + twice << QStringList{} << 0 << QStringList{"s=passed"} << trailingSaid
        << 8000 << "tcp";
}

// Verdicts that a device's timing cannot fool: what came before a send is no reply to
// it, an early window ends at its complete reply and leaves what follows to the next
// step, a reply's time is measured and bounded, a capture's replay waits as long as
// its reply took.
void TestScriptSimulator::verdicts()
{
    QFETCH(QStringList, simulator);
    QFETCH(QString, script);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QStringList, cases);
    QFETCH(QStringList, said);
    QFETCH(int, underMs);
    QFETCH(QString, line);

    QTemporaryDir dir;
    QString port = dir.filePath(QStringLiteral("port"));
    SimulatorProcess sim(port, simulator);
    QVERIFY(sim.started());
    std::unique_ptr<SerialServer> server;
    if (!line.isEmpty()) {
        QVERIFY2(SerialServer::available(), "ser2net is not installed (scripts/deps.sh installs it)");
        server = std::make_unique<SerialServer>(sim.ptyPath().toStdString(), line == u"tcp" ? SerialServer::Kind::RawTcp
                                                                                              : SerialServer::Kind::Rfc2217);
        QVERIFY(server->running());
        port = QString::fromStdString(server->name());
    }
    const QString scriptPath = dir.filePath(QStringLiteral("s.qlt"));
    const QString reportPath = dir.filePath(QStringLiteral("report.xml"));
    writeFile(scriptPath, script);

    QElapsedTimer clock;
    clock.start();
    const ProgramRun run = runProgram(QStringList{"--script", scriptPath, "--port", port, "--junit", reportPath} + options);
    const QString shown = run.err + run.out.join(u'\n');
    QVERIFY2(run.exitCode == exitCode, qPrintable(shown));
    if (underMs > 0)
        QVERIFY2(clock.elapsed() < underMs, qPrintable(QString::number(clock.elapsed())));
    qsizetype from = 0;
    for (const QString& part : said) {
        if (part.startsWith(u'!')) {
            QVERIFY2(!run.out.join(u'\n').contains(part.mid(1)), qPrintable(part + u'\n' + shown));
            continue;
        }
        while (from < run.out.size() && !run.out[from].contains(part))
            ++from;
        QVERIFY2(from < run.out.size(), qPrintable(part + u'\n' + shown));
        ++from;
    }
    const Report report = readReport(reportPath);
    QCOMPARE(report.cases, cases);
    // What the lines say goes to the report of the case it belongs to; a measured
    // reply time stands in the failure of a late one.
    for (const QString& line : run.out.filter(QStringLiteral("лишние байты до кадра"))) {
        bool inReport = false;
        for (const QString& output : report.output)
            inReport = inReport || output.contains(line.trimmed());
        QVERIFY2(inReport, qPrintable(line));
    }
    for (const QString& message : report.failureMessages)
        if (message.contains(QStringLiteral("within")))
            QVERIFY2(replyMs(message) >= 400 && replyMs(message) < 1500, qPrintable(message));
}

void TestScriptSimulator::reportCheckedBeforeSending_data()
{
    QTest::addColumn<QString>("report"); // "DIR/…": in the test's folder
    QTest::addColumn<QString>("prepare"); // "fifo", "folder", "link to fifo" or nothing
    QTest::addColumn<QString>("said");

    QTest::newRow("a folder that does not exist") << "DIR/missing/report.xml" << "" << "нет папки";
    QTest::newRow("a folder") << "DIR/report.xml" << "folder" << "это папка";
    QTest::newRow("a FIFO") << "DIR/report.xml" << "fifo" << "это не обычный файл";
    QTest::newRow("a link to a FIFO") << "DIR/report.xml" << "link to fifo" << "это не обычный файл";
    QTest::newRow("a device") << "/dev/null" << "" << "это не обычный файл";
}

// A report that could not be written is said before anything goes to the device, and
// what stands at its name is left as it was: a FIFO stays a FIFO.
void TestScriptSimulator::reportCheckedBeforeSending()
{
    QFETCH(QString, report);
    QFETCH(QString, prepare);
    QFETCH(QString, said);

    QTemporaryDir dir;
    report.replace(QStringLiteral("DIR"), dir.path());
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    if (prepare == u"folder")
        QVERIFY(QDir().mkdir(report));
    if (prepare.endsWith(u"fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(prepare == u"fifo" ? report : fifo).constData(), 0600), 0);
    if (prepare == u"link to fifo")
        QVERIFY(QFile::link(fifo, report));
    PtyPair device;
    const QString scriptPath = dir.filePath(QStringLiteral("s.qlt"));
    writeFile(scriptPath, QStringLiteral("send 60 01 81 *\nexpect ...\n"));

    const ProgramRun run = runProgram({"--script", scriptPath, "--port", QString::fromStdString(device.portPath()),
                                       "--junit", report});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(device.receiveAvailable(), std::string());
    if (prepare.endsWith(u"fifo")) {
        // Through the link too: the name still leads to the FIFO, never to a file.
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(report).constData(), &status), 0);
        QVERIFY(S_ISFIFO(status.st_mode));
    }
}

void TestScriptSimulator::interrupted_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("Ctrl+C") << int(SIGINT) << 130;
    QTest::newRow("a test server's time-out") << int(SIGTERM) << 2;
}

// An interrupted run ends its step, prints its summary and writes its report, with the
// case under way an error.
void TestScriptSimulator::interrupted()
{
    QFETCH(int, signalNumber);
    QFETCH(int, exitCode);

    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("port"));
    SimulatorProcess sim(port, {QStringLiteral("--family"), QStringLiteral("dix")});
    QVERIFY(sim.started());
    const QString scriptPath = dir.filePath(QStringLiteral("s.qlt"));
    const QString reportPath = dir.filePath(QStringLiteral("report.xml"));
    writeFile(scriptPath, QStringLiteral("case first\nsend 60 01 81 *\nexpect 01 81 ... *\ncase long\nwait 600000\n"
                                         "case never\nsend 60 01 81 *\n"));
    QProcess process;
    process.setProcessEnvironment(screenless());
    process.start(QStringLiteral(QLDIXW_PROGRAM_PATH), {"--script", scriptPath, "--port", port, "--junit", reportPath});
    QString out;
    QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(process.readAllStandardOutput())).contains(QStringLiteral("case long")),
                             kRunTimeoutMs);
    QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
    QVERIFY(process.waitForFinished(kRunTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    out += QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(out.endsWith(QStringLiteral("1 passed, 1 failed, 1 not run\n")), qPrintable(out));
    const Report report = readReport(reportPath);
    QCOMPARE(report.cases, (QStringList{"first=passed", "long=error", "never=skipped"}));
    QVERIFY2(report.failureMessages.value(0).startsWith(QStringLiteral("прервано")), qPrintable(report.failureMessages.value(0)));
}

void TestScriptSimulator::replayInTheWindow_data()
{
    QTest::addColumn<int>("windowMs"); // the dialog's field; 0: from the capture
    QTest::addColumn<bool>("typed");   // the real dialog, answered as an operator would
    QTest::addColumn<QString>("result");
    const QString passed = QStringLiteral("Сценарий: case запрос 1 в 1.000000 с пройден");
    const QString failed = QStringLiteral("Сценарий: case запрос 1 в 1.000000 с не пройден: ожидалось 01 81 00 00 00 00 00 1F, получено ничего");
    QTest::newRow("the capture's own times") << 0 << false << passed;
    QTest::newRow("the window given in the dialog") << 300 << false << failed;
    QTest::newRow("the dialog itself, left as it comes") << 0 << true << passed;
    QTest::newRow("the dialog itself, a window typed") << 300 << true << failed;
}

// A capture replayed in the window asks how its windows run; its reply, as late as in
// the capture, passes unless the window given is too short for it.
void TestScriptSimulator::replayInTheWindow()
{
    QFETCH(int, windowMs);
    QFETCH(bool, typed);
    QFETCH(QString, result);

    ConsoleTestBench bench;
    SimulatorProcess sim(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                         {QStringLiteral("--family"), QStringLiteral("dix"), QStringLiteral("--delay"), QStringLiteral("700")});
    QVERIFY(sim.started());
    QVERIFY(bench.openPort());
    QTemporaryDir dir;
    // No .qlcap at the end: the file's first line tells it is a capture.
    const QString path = dir.filePath(QStringLiteral("capture.txt"));
    writeFile(path, slowCapture(700));
    int asked = 0;
    mainwindow::MenuDialogs dialogs = mainwindow::systemMenuDialogs();
    dialogs.openFileName = [&](QWidget*, const QString&) { return path; };
    dialogs.replayOptions = [&](QWidget* parent, const mainwindow::ReplayChoice& initial) {
        ++asked;
        if (!typed) {
            mainwindow::ReplayChoice choice;
            if (windowMs > 0)
                choice.windowMs = windowMs;
            return std::optional(choice);
        }
        // The operator sees "по записи" in the field, types a window or leaves it, and
        // presses OK.
        QString shown;
        QTimer answer;
        answer.setInterval(20);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            auto* field = dialog ? dialog->findChild<QSpinBox*>(QStringLiteral("ReplayWindow")) : nullptr;
            if (!field)
                return;
            answer.stop();
            shown = field->text();
            if (windowMs > 0)
                field->setValue(windowMs);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        answer.start();
        const std::optional<mainwindow::ReplayChoice> chosen = mainwindow::askReplayOptions(parent, initial);
        if (shown != QStringLiteral("по записи"))
            return std::optional<mainwindow::ReplayChoice>();
        return chosen;
    };
    bench.window().setMenuDialogs(dialogs);
    bench.window().findChild<QAction*>(QStringLiteral("RunScript"))->trigger();
    QCOMPARE(asked, 1);
    QTRY_VERIFY_WITH_TIMEOUT(!bench.control<QPushButton>(QStringLiteral("StopScript"))->isVisible(), kRunTimeoutMs);
    const QStringList lines = bench.lines(QStringLiteral("dannieListBox1"));
    QVERIFY2(!lines.filter(result).isEmpty(), qPrintable(lines.join(u'\n')));
}

// Eight million steps that never touch the line, within what a script may take: the run
// hands the window back between its turns, so what the window has to do meanwhile is
// done at once, and "Остановить сценарий" ends the run.
void TestScriptSimulator::settingsLoopInTheWindow()
{
    ConsoleTestBench bench;
    QVERIFY(bench.openPort());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.qlt"));
    writeFile(path, QStringLiteral("case settings\nrepeat 1000000\n") + QStringLiteral("address 01\n").repeated(8)
                        + QStringLiteral("end\nsend 60 01 81 *\n"));
    mainwindow::MenuDialogs dialogs = mainwindow::systemMenuDialogs();
    dialogs.openFileName = [&](QWidget*, const QString&) { return path; };
    bench.window().setMenuDialogs(dialogs);
    auto* progress = bench.control<QLabel>(QStringLiteral("ScriptProgress"));
    auto* stop = bench.control<QPushButton>(QStringLiteral("StopScript"));
    QVERIFY(progress && stop);

    bench.window().findChild<QAction*>(QStringLiteral("RunScript"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(progress->text().startsWith(QStringLiteral("Сценарий: шаг ")), kRunTimeoutMs);
    for (int round = 0; round < 3; ++round) {
        // Generous for a loaded machine and the sanitizers; the run itself lasts minutes.
        bool served = false;
        QElapsedTimer waited;
        waited.start();
        QMetaObject::invokeMethod(&bench.window(), [&] { served = true; }, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(served, 5000);
        QVERIFY2(waited.elapsed() < 2000, qPrintable(QStringLiteral("%1 ms").arg(waited.elapsed())));
        QVERIFY(stop->isVisible());
    }
    const qint64 reached = progress->text().section(u' ', 2, 2).toLongLong();
    QVERIFY2(reached > 1 && reached < 8'000'001, qPrintable(progress->text()));

    QTest::mouseClick(stop, Qt::LeftButton);
    QVERIFY(!stop->isVisible());
    const QStringList lines = bench.lines(QStringLiteral("dannieListBox1"));
    QVERIFY2(!lines.filter(QStringLiteral("Сценарий: case settings остановлен")).isEmpty(), qPrintable(lines.mid(lines.size() - 5).join(u'\n')));
    QVERIFY2(!lines.filter(QStringLiteral("Сценарий: остановлен на шаге ")).isEmpty(), qPrintable(lines.mid(lines.size() - 5).join(u'\n')));
    QCOMPARE(bench.device().receiveAvailable(), std::string());
}

// A capture of tens of megabytes takes seconds to check before a run: the command line
// says how far it has come on standard error, a line a tenth at most, and Ctrl+C gives
// the reading up at once.
void TestScriptSimulator::bigCaptureSaysHowFarItRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.qlcap"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray text = "QLDIXw capture 1\nstart 2026-12-08T01:00:00.000000+03:00\nprotocol dix\ngap 3.5\n";
        for (int second = 1; text.size() < 24 << 20; ++second)
            text += QByteArray::number(second) + ".000000 A 60 01 81 FB\n" + QByteArray::number(second)
                + ".030000 B 01 81 00 12 34 56 07 C8\n";
        QCOMPARE(file.write(text), text.size());
    }
    QProcess process;
    process.setProcessEnvironment(screenless());
    process.start(QStringLiteral(QLDIXW_PROGRAM_PATH), {"--script", path, "--port", dir.filePath(QStringLiteral("no-port"))});
    QString err;
    QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(process.readAllStandardError())).contains(QStringLiteral(" %\n")),
                             kRunTimeoutMs * 3);
    QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
    QVERIFY(process.waitForFinished(kRunTimeoutMs));
    QCOMPARE(process.exitCode(), 130);
    err += QString::fromUtf8(process.readAllStandardError());
    const QStringList lines = err.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.value(0).startsWith(QStringLiteral("qldixw: чтение файла ") + path + QStringLiteral(" (24.0 МБ)")), qPrintable(err));
    int last = 0;
    int told = 0;
    static const QRegularExpression tenth(QStringLiteral("^qldixw: чтение файла: (\\d+) %$"));
    for (const QString& line : lines) {
        if (const QRegularExpressionMatch percent = tenth.match(line); percent.hasMatch()) {
            QVERIFY2(percent.captured(1).toInt() >= last + 10 && percent.captured(1).toInt() < 100, qPrintable(err));
            last = percent.captured(1).toInt() / 10 * 10;
            ++told;
        }
    }
    QVERIFY2(told >= 1 && told <= 9, qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("прервано (SIGINT) до начала сценария")), qPrintable(err));
}

QTEST_MAIN(TestScriptSimulator)
#include "test_scriptsimulator.moc"
