// "Файл" → "Выполнить сценарий ...": a test script on the open port, in the mode
// selected, with the families' panels and the mode switch disabled while it runs.

#include "tform1.h"

#include "capturescript.h"
#include "scriptbar.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

namespace mainwindow {

namespace {

const QString kScriptFilter = QStringLiteral("Сценарии и записи линии (*.qlt *.qlcap)");

} // namespace

void TForm1::setupScriptRun()
{
    scriptBar_ = new ScriptBar(clientArea_, *transport_, *session_,
                               {.setFamiliesEnabled =
                                    [this](bool enabled) {
                                        familyArea_->setEnabled(enabled);
                                        // The run goes on in the mode it began in.
                                        prog_->setEnabled(enabled);
                                    },
                                .typedAddress = [this] { return kontroller_->currentText(); }});
    connect(scriptBar_, &ScriptBar::runningChanged, this, [this](bool running) { RunScript_->setEnabled(!running); });
}

void TForm1::runScriptClick()
{
    // A closed port is said before a file is asked for.
    if (scriptBar_->running() || !dialogs_.openFileName || !scriptBar_->portReady(this))
        return;
    const QString path = dialogs_.openFileName(this, kScriptFilter);
    if (path.isEmpty())
        return;
    // A capture's replay is asked how its windows run; a script says so itself.
    ReplayChoice replay;
    if (testscript::looksLikeCapture(path)) {
        const std::optional<ReplayChoice> chosen = dialogs_.replayOptions ? dialogs_.replayOptions(this, replayChoice_)
                                                                          : std::optional<ReplayChoice>(replayChoice_);
        if (!chosen)
            return;
        replay = replayChoice_ = *chosen;
    }
    scriptBar_->run(path, this, replay);
}

} // namespace mainwindow
