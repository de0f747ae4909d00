#pragma once
// The window's side of a test script run: the run on the open port in the selected
// mode, its steps and the result of each case in that mode's log, a progress line and
// "Остановить сценарий" on the top row. While a run goes on, the panels of the families
// and the mode switch are disabled, and the line is held for the run, so that neither a
// click nor a family's own timer puts a frame between the script's.

#include "menudialogs.h"
#include "scriptdriver.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QWidget;

namespace linecapture {
class BackgroundRead;
}
namespace portsession {
class PortSession;
}
namespace testscript {
struct ScriptParse;
}
namespace transport {
class Transport;
}

namespace mainwindow {

class ScriptBar : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Disables (false) or enables again the families' panels and the mode switch.
        std::function<void(bool enabled)> setFamiliesEnabled;
        // The controller address as typed in the window's box.
        std::function<QString()> typedAddress;
    };

    // The progress line and the stop button go on `topRow`, hidden until a run.
    ScriptBar(QWidget* topRow, transport::Transport& line, portsession::PortSession& session, Hooks hooks);
    ~ScriptBar() override;

    // A run, or the reading of the file it is to run.
    bool running() const { return driver_->running() || reading_; }
    // Whether the port is open for a run; when not, an error box over `dialogParent` says so.
    bool portReady(QWidget* dialogParent) const;
    // Checks and runs the script in `path`. The file is read beside the window (a
    // replayed capture may be tens of megabytes), with its progress on the top row and
    // "Остановить сценарий" to give it up. A script that cannot run says why in an error
    // box over `dialogParent` and nothing is sent.
    void run(const QString& path, QWidget* dialogParent, const ReplayChoice& replay = {});
    // "Остановить сценарий".
    void stop();

signals:
    // A run began or ended: the menu item that starts one follows it.
    void runningChanged(bool running);

private:
    void log(const QString& line);
    void showProgress(qint64 step, qint64 total);
    void showText(const QString& text);
    void scriptRead(const QString& path, testscript::ScriptParse& parse);
    void beginRun();
    void endRun();
    void finished();

    transport::Transport& line_;
    testscript::ScriptDriver* const driver_;
    QLabel* const progress_;
    QPushButton* const stopButton_;
    const Hooks hooks_;
    // Every window of the run under way ends once its reply is complete.
    bool earlyWindows_ = false;
    QPointer<QWidget> focusBefore_;
    QPointer<QWidget> dialogParent_;
    std::unique_ptr<linecapture::BackgroundRead> reading_;
};

} // namespace mainwindow
