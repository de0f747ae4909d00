#pragma once
// The whole program on the offscreen screen with a pseudo-terminal as its cable: the
// test holds the device end and publishes the port end as virtual port COM9.

#include "application.h"
#include "logpane.h"
#include "ptypair.h"
#include "transport.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace qldixw::testing {

// The items of the mode switch.
enum Mode { ModeDIX = 0, ModeQL = 1, ModeERK2 = 2 };

class ConsoleTestBench {
public:
    ConsoleTestBench();
    ~ConsoleTestBench();

    mainwindow::TForm1& window() { return *windows_.Form1; }
    // The line, as the families see it.
    transport::Transport& line() { return *window().findChild<transport::Transport*>(); }
    // A control of the main window, by its name.
    template <class Control>
    Control* control(const QString& name)
    {
        return window().findChild<Control*>(name);
    }
    mainwindow::ProgramWindows& windows() { return windows_; }
    PtyPair& device() { return *device_; }

    // Publishes a device path as a virtual port of this name.
    static void publish(const QString& name, const std::string& devicePath);

    // Clicks an item of the mode switch.
    void selectMode(Mode mode);
    // Chooses COM9 and presses "Открыть".
    bool openPort();
    // Types frame text into the console line as the operator would, then presses Enter.
    void typeAndSend(const QString& text);
    // Waits until the reply window has ended.
    bool waitIdle(int timeoutMs = 5000);

    // The lines of a log pane of the main window, by its name.
    QStringList lines(const QString& pane) const;
    QStringList consoleLines() const;

private:
    QTemporaryDir runtimeDir_;
    QByteArray savedRuntimeDir_;
    std::unique_ptr<PtyPair> device_;
    mainwindow::ProgramWindows windows_;
};

// "PC-> (<time stamp>)  60 01 81 FB" → "PC->  60 01 81 FB": the time stamp varies.
QString withoutTimeStamp(const QString& line);

} // namespace qldixw::testing
