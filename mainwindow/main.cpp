#include "application.h"
#include "commandline.h"
#include "commandlinerun.h"
#include "consoletext.h"
#include "guardedapplication.h"
#include "portdirectory.h"
#include "programversion.h"
#include "qttranslations.h"

#include <QCoreApplication>

#include <cstdio>
#include <optional>

#if defined(_WIN32)
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

#if defined(_WIN32)
// The program is of the window subsystem, so that starting it from the Start menu opens
// no console window; started from a console (qldixw --script …, --help), it writes to
// that console, unless its output was sent elsewhere.
void useParentConsole()
{
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    const auto reopen = [](DWORD which, std::FILE* stream, const char* mode) {
        const HANDLE handle = ::GetStdHandle(which);
        if (!handle || handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) == FILE_TYPE_UNKNOWN)
            [[maybe_unused]] std::FILE* reopened = std::freopen("CONOUT$", mode, stream);
    };
    reopen(STD_OUTPUT_HANDLE, stdout, "w");
    reopen(STD_ERROR_HANDLE, stderr, "w");
}

// argv is in the ANSI code page there, which cannot hold every file name; the wide
// command line can.
QStringList commandLineArguments(int, char*[])
{
    QStringList arguments;
    int count = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(wide[i]);
        ::LocalFree(wide);
    }
    return arguments;
}
#else
QStringList commandLineArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
#endif

// --help, --version and a refused option end the program before any window exists, so
// they work without a screen. Every other argument is left to Qt, as it always was.
std::optional<int> answerWithoutWindow(const mainwindow::CommandLine& line, int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("qldixw"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(ui::kProgramVersion));
    if (line.helpAsked() || line.versionAsked()) {
        // Names the program in the usage line as it was called; needs no screen.
        const QCoreApplication app(argc, argv);
        mainwindow::installQtTranslations();
        const QString answer = line.helpAsked() ? line.helpText()
                                                : QCoreApplication::applicationName() + u' '
                                                      + QCoreApplication::applicationVersion() + u'\n';
        testscript::writeConsoleText(stdout, answer);
        return 0;
    }
    // A mistyped option or port is said where it was typed, and nothing opens: a window
    // on some other port than the one asked for would only hide the mistake.
    QString refusal = line.error();
    // A script run says a port it cannot use itself: in its report as well.
    if (refusal.isEmpty() && !line.port().isEmpty() && !line.scriptAsked())
        refusal = mainwindow::refusedPortText(line.port(), ports::PortDirectory());
    if (!refusal.isEmpty()) {
        testscript::writeConsoleText(stderr, QStringLiteral("qldixw: %1\n").arg(refusal));
        return mainwindow::kRefusedOptionExitCode;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
#if defined(_WIN32)
    useParentConsole();
#endif
    const mainwindow::CommandLine line(commandLineArguments(argc, argv));
    if (const std::optional<int> code = answerWithoutWindow(line, argc, argv))
        return *code;
    // A script run makes a core application only: it opens no screen and needs none.
    if (line.scriptAsked()) {
        const QCoreApplication app(argc, argv);
        testscript::CommandLineRun run = line.scriptRun();
        run.portRefusal = mainwindow::refusedPortText(line.port(), ports::PortDirectory());
        return testscript::runScriptFromCommandLine(run, stdout, stderr);
    }

    mainwindow::GuardedApplication app(argc, argv);
    auto windows = mainwindow::createProgramWindows();
    windows.Form1->startWith(line.port(), line.mode());
    windows.Form1->show();
    return app.exec();
}
