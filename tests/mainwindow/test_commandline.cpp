// The console's command line: --port and --mode choose the port box's name and the mode
// the window starts with, and "Открыть" then opens that port; an unknown port or mode
// is refused on standard error before any window; --help speaks Russian.

#include "commandline.h"
#include "consoletestbench.h"
#include "portdirectory.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace qldixw::testing;

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void readsOptions_data();
    void readsOptions();
    void portCheck_data();
    void portCheck();
    void programRefusesBeforeAnyWindow_data();
    void programRefusesBeforeAnyWindow();
    void windowStartsOnPortAndMode_data();
    void windowStartsOnPortAndMode();
};

void TestCommandLine::readsOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("mode"); // -1: none asked for
    QTest::addColumn<QString>("error");

    QTest::newRow("nothing") << QStringList{} << QString() << -1 << QString();
    QTest::newRow("port and mode") << QStringList{"--port", "COM9", "--mode", "ql"} << "COM9" << 1 << QString();
    QTest::newRow("mode alone") << QStringList{"--mode", "erk"} << QString() << 2 << QString();
    QTest::newRow("the line monitor") << QStringList{"--mode", "monitor"} << QString() << 3 << QString();
    QTest::newRow("device path") << QStringList{"--port=/dev/ttyUSB0", "--mode=dix"} << "/dev/ttyUSB0" << 0 << QString();
    QTest::newRow("single dash") << QStringList{"-port", "COM3", "-mode", "erk"} << "COM3" << 2 << QString();
    QTest::newRow("among Qt's options") << QStringList{"-platform", "offscreen", "--port", "COM3", "-reverse", "-style", "fusion"}
                                        << "COM3" << -1 << QString();
    QTest::newRow("unknown mode") << QStringList{"--mode", "meter"} << QString() << -1
                                  << QStringLiteral("Неизвестный режим «meter»: допустимы dix, ql, erk и monitor.");
    QTest::newRow("port without its name") << QStringList{"--mode", "ql", "--port"} << QString() << -1
                                           << QStringLiteral("Параметру --port нужно значение.");
    QTest::newRow("empty port") << QStringList{"--port", ""} << QString() << -1
                                << QStringLiteral("Параметру --port нужно значение.");
    QTest::newRow("mode without its name") << QStringList{"--port", "COM9", "--mode"} << "COM9" << -1
                                           << QStringLiteral("Параметру --mode нужно значение.");
}

void TestCommandLine::readsOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, port);
    QFETCH(int, mode);
    QFETCH(QString, error);

    const mainwindow::CommandLine line(QStringList{QStringLiteral("qldixw")} + arguments);
    QCOMPARE(line.error(), error);
    QVERIFY(!line.helpAsked() && !line.versionAsked());
    if (!error.isEmpty())
        return;
    QCOMPARE(line.port(), port);
    QCOMPARE(line.mode().value_or(-1), mode);
}

void TestCommandLine::portCheck_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("known");

    QTest::newRow("listed virtual port") << "COM9" << true;
    QTest::newRow("virtual port beyond the list") << "COM12" << true;
    QTest::newRow("the pseudo-terminal's path") << "pty" << true;
    QTest::newRow("no such port") << "COM200" << false;
    QTest::newRow("names match exactly") << "com9" << false;
    QTest::newRow("a path that leads nowhere") << "/dev/ttyQLDIXW7" << false;
}

void TestCommandLine::portCheck()
{
    QFETCH(QString, name);
    QFETCH(bool, known);

    ConsoleTestBench bench; // COM9 published in a runtime folder of its own
    ConsoleTestBench::publish(QStringLiteral("COM12"), bench.device().portPath());
    if (name == u"pty")
        name = QString::fromStdString(bench.device().portPath());
    const QString refusal = mainwindow::refusedPortText(name, ports::PortDirectory());
    QCOMPARE(refusal, known ? QString() : QStringLiteral("Порт «%1» не найден на этом компьютере.").arg(name));
}

void TestCommandLine::programRefusesBeforeAnyWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrText");
    QTest::addColumn<QStringList>("stdoutHolds");

    QTest::newRow("unknown mode") << QStringList{"--port", "COM200", "--mode", "meter"} << 2
                                  << QStringLiteral("qldixw: Неизвестный режим «meter»: допустимы dix, ql, erk и monitor.\n")
                                  << QStringList{};
    QTest::newRow("unknown port") << QStringList{"--port", "COM200", "--mode", "ql"} << 2
                                  << QStringLiteral("qldixw: Порт «COM200» не найден на этом компьютере.\n")
                                  << QStringList{};
    QTest::newRow("missing value") << QStringList{"--port"} << 2
                                   << QStringLiteral("qldixw: Параметру --port нужно значение.\n") << QStringList{};
    // Qt's own headings in Russian too: its translations are loaded for the help.
    QTest::newRow("help") << QStringList{"--help"} << 0 << QString()
                          << QStringList{"Использование:", "Параметры:", "--port <имя>", "--mode <режим>",
                                         "dix (контроллер ТРК)"};
}

// The real program, with no screen to open a window on: what it refuses it refuses
// before it needs one.
void TestCommandLine::programRefusesBeforeAnyWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrText);
    QFETCH(QStringList, stdoutHolds);

    QTemporaryDir runtime; // no virtual port of the user's is taken for the one asked for
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QLDIXW_PROGRAM), arguments);
    QVERIFY(program.waitForFinished(60000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    QCOMPARE(err, stderrText);
    if (stdoutHolds.isEmpty())
        QCOMPARE(out, QString());
    for (const QString& text : stdoutHolds)
        QVERIFY2(out.contains(text), qPrintable(text + QStringLiteral(" not in:\n") + out));
}

void TestCommandLine::windowStartsOnPortAndMode_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("mode");

    QTest::newRow("COM9 in QL") << "COM9" << 1;
    QTest::newRow("COM12, beyond the list, in ЭРК-2") << "COM12" << 2;
    QTest::newRow("device path in DIX") << "pty" << 0;
}

// The name given is in the port box, the mode given is selected with its panels, and
// "Открыть" opens that very port.
void TestCommandLine::windowStartsOnPortAndMode()
{
    QFETCH(QString, port);
    QFETCH(int, mode);

    ConsoleTestBench bench;
    ConsoleTestBench::publish(QStringLiteral("COM12"), bench.device().portPath());
    if (port == u"pty")
        port = QString::fromStdString(bench.device().portPath());
    bench.window().startWith(port, mode);

    auto* box = bench.control<QComboBox>(QStringLiteral("COM"));
    QCOMPARE(box->currentText(), port);
    QCOMPARE(bench.window().mode(), mode);
    static const char* const switchItems[] = {"prog_DIX", "prog_QL", "prog_ERK2"};
    QVERIFY(bench.control<QAbstractButton>(QString::fromLatin1(switchItems[mode]))->isChecked());
    QVERIFY(!bench.line().portOpen());

    QTest::mouseClick(bench.control<QPushButton>(QStringLiteral("OpenPort")), Qt::LeftButton);
    QVERIFY(bench.line().portOpen());
    QCOMPARE(QString::fromStdString(bench.window().port().DeviceName()), port);
    QCOMPARE(QString::fromStdString(bench.window().port().DevicePath()), QString::fromStdString(bench.device().portPath()));
}

QTEST_MAIN(TestCommandLine)
#include "test_commandline.moc"
