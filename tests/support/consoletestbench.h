#pragma once
// The whole program on the offscreen screen with a pseudo-terminal as its cable: the
// test holds the device end and publishes the port end as virtual port COM9.

#include "application.h"
#include "ptypair.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace qldixw::testing {

class ConsoleTestBench {
public:
    ConsoleTestBench();
    ~ConsoleTestBench();

    mainwindow::TForm1& window() { return *windows_.Form1; }
    mainwindow::ProgramWindows& windows() { return windows_; }
    PtyPair& device() { return *device_; }

    // Publishes a device path as a virtual port of this name.
    static void publish(const QString& name, const std::string& devicePath);

    // Chooses COM9 and presses "Открыть".
    bool openPort();
    // Types frame text into the console line as the operator would, then presses Enter.
    void typeAndSend(const QString& text);
    // Waits until the reply window has ended.
    bool waitIdle(int timeoutMs = 5000);

    // The lines of a pane.
    static QStringList lines(const QPlainTextEdit* pane);
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
