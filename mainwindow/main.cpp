#include "application.h"
#include "guardedapplication.h"
#include "programversion.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <optional>

namespace {

const char* const kDescription = R"(Service console for devices on a serial line. Its modes drive a fuel-dispenser
controller ("DIX"), a controller whose memory is read and written byte by byte
("QL") and a three-phase meter ("ЭРК-2"). Without options it opens its window.

Ports are shown by COM names. Virtual ports are symbolic links named COM1..COM17
in $XDG_RUNTIME_DIR/qldixw/ports (/tmp/qldixw-<uid>/ports without
XDG_RUNTIME_DIR); the device simulator qldixw-devsim publishes its port there.
Real ports come from /sys/class/tty: ttyS<n> is COM<n+1>, other ports are
numbered after them. Any device path typed into the port box and confirmed with
Enter is opened as it stands.

Qt's own options (-platform, -style, ...) are passed on to Qt.)";

// --help and --version print and end the program before any window exists, so they
// work without a screen. Every other argument is left to Qt, as it always was.
std::optional<int> answerInformationOptions(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCoreApplication::setApplicationName(QStringLiteral("qldixw"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(ui::kProgramVersion));

    QCommandLineParser parser;
    // Qt's options are single-dash words: read as bundles of letters, "-reverse" would
    // ask for the version and "-stylesheet" for the help.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the program's version."));
    parser.addOptions({help, version});
    parser.parse(arguments); // Qt's options are unknown here, and that is no error
    if (!parser.isSet(help) && !parser.isSet(version))
        return std::nullopt;

    // Names the program in the usage line as it was called; needs no screen.
    const QCoreApplication app(argc, argv);
    const QString text = parser.isSet(help)
        ? parser.helpText()
        : QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n';
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (const std::optional<int> code = answerInformationOptions(argc, argv))
        return *code;
    mainwindow::GuardedApplication app(argc, argv);
    auto windows = mainwindow::createProgramWindows();
    windows.Form1->show();
    return app.exec();
}
