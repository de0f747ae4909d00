#pragma once
// The program's own command-line options, described in Russian by --help. Qt's options
// (-platform, -style, ...) are not read here: they are left to Qt, as they always were.
// Reading the line needs no QCoreApplication and no screen, so a refused option is
// reported before any window could open.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

namespace testscript {
struct CommandLineRun;
}
namespace ports {
class PortDirectory;
}

namespace mainwindow {

// The exit code of a refused option, as command-line programs use it for a usage error.
inline constexpr int kRefusedOptionExitCode = 2;

class CommandLine {
public:
    // `arguments` with the program's name first, as argv has it.
    explicit CommandLine(const QStringList& arguments);

    bool helpAsked() const { return parser_.isSet(help_); }
    bool versionAsked() const { return parser_.isSet(version_); }
    // Why the line was refused, for standard error; empty when it was not.
    const QString& error() const { return error_; }

    // --port NAME: the port the window opens with in its box (still closed); empty
    // when not given.
    QString port() const { return parser_.value(port_); }
    // --mode dix|ql|erk: the item of the mode switch selected at start.
    std::optional<int> mode() const { return mode_; }
    // --script FILE: a test script to run on --port with no window at all, with
    // --address, --baud, --junit, --window and --early.
    bool scriptAsked() const { return parser_.isSet(script_); }
    testscript::CommandLineRun scriptRun() const;

    // The help text, in Russian. Needs a QCoreApplication (it names the program as it
    // was called), and Qt's Russian translations for Qt's own words in it.
    QString helpText() const { return parser_.helpText(); }

private:
    QCommandLineParser parser_;
    const QCommandLineOption help_;
    const QCommandLineOption version_;
    const QCommandLineOption port_;
    const QCommandLineOption modeOption_;
    const QCommandLineOption script_;
    const QCommandLineOption address_;
    const QCommandLineOption baud_;
    const QCommandLineOption junit_;
    const QCommandLineOption window_;
    const QCommandLineOption early_;
    std::optional<int> mode_;
    QString error_;
};

// Why `name` cannot be chosen at start, in the words the window uses for a name it does
// not find; empty when the name leads to a device here now (a name the system lists, or
// a device path that exists).
QString refusedPortText(const QString& name, const ports::PortDirectory& directory);

} // namespace mainwindow
