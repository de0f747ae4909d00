#include "menudialogs.h"

#include "helpfile.h"
#include "replayoptionsdialog.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDialog>

namespace mainwindow {

MenuDialogs systemMenuDialogs()
{
    return {
        .openFileName = [](QWidget* parent, const QString& filter) {
            return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
        },
        // The name rule may still change the chosen name afterwards, so the dialog does not
        // ask about replacing the name it shows.
        .saveFileName = [](QWidget* parent, const QString& filter) {
            return QFileDialog::getSaveFileName(parent, QString(), QString(), filter, nullptr,
                                                QFileDialog::DontConfirmOverwrite);
        },
        .replayOptions = askReplayOptions,
        .font = [](QWidget* parent, const QFont& initial) -> std::optional<QFont> {
            bool ok = false;
            const QFont chosen = QFontDialog::getFont(&ok, initial, parent);
            if (!ok)
                return std::nullopt;
            return chosen;
        },
        .openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); },
        .helpFolders = helpFolders(),
    };
}

} // namespace mainwindow
