// "Файл": the console log to a file and back, and "Выход".

#include "tform1.h"

#include "errorboundary.h"
#include "familymode.h"
#include "fileprogress.h"
#include "logfileio.h"
#include "logpane.h"
#include "controlnames.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace mainwindow {

namespace {

const QString kOpenFilter = QStringLiteral("logDIXW (*.logDIXW)");
const QString kSaveFilter = QStringLiteral("LogDIXW (*.LogDIXW)");

QString megabytes(qint64 bytes)
{
    return QString::number(bytes / (1024 * 1024));
}

} // namespace

void TForm1::setupFileMenu()
{
    struct Item {
        const char* name;
        QString caption;
        QKeySequence keys;
        void (TForm1::*handler)();
    };
    const Item items[] = {
        {"openFiles", QStringLiteral("Открыть"), QKeySequence(Qt::CTRL | Qt::Key_O), &TForm1::openFilesClick},
        {"save", QStringLiteral("Сохранить"), QKeySequence(Qt::CTRL | Qt::Key_S), &TForm1::saveClick},
        {"saveas", QStringLiteral("Сохранить как ..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &TForm1::saveasClick},
        {"RunScript", QStringLiteral("Выполнить сценарий ..."), QKeySequence(Qt::CTRL | Qt::Key_R), &TForm1::runScriptClick},
        {"N5", QStringLiteral("Выход"), QKeySequence(Qt::CTRL | Qt::Key_Q), &TForm1::N5Click},
    };
    for (const Item& item : items) {
        QAction* action = ui::nameControl(EditFile_->addAction(item.caption), item.name);
        action->setShortcut(item.keys);
        connect(action, &QAction::triggered, this, item.handler);
        if (item.handler == &TForm1::runScriptClick)
            RunScript_ = action; // disabled while a script runs
    }
    // Never shown: it holds the name "Сохранить" writes to.
    Label14_->setGeometry(264, 448, 0, 0);
    Label14_->hide();
}

ui::LogPane* TForm1::fileLog() const
{
    for (const ui::FamilyMode* family : families_)
        if (ui::LogPane* pane = family->fileLog())
            return pane;
    return nullptr;
}

void TForm1::openFilesClick()
{
    ui::LogPane* const pane = fileLog();
    if (!pane || !dialogs_.openFileName)
        return;
    const QString path = dialogs_.openFileName(this, kOpenFilter);
    if (path.isEmpty())
        return;

    FileProgress progress(this, QStringLiteral("Загрузка журнала ..."), dialogs_.progressDelayMs);
    // Loaded aside, so that the pane keeps its log until the new one is whole.
    ui::LogStore loaded;
    const ui::LogRead read = ui::readLogFile(path, loaded, progress.steps());
    switch (read.outcome) {
    case ui::FileOutcome::Cancelled:
        return;
    case ui::FileOutcome::Failed:
        showErrorBox(this, QStringLiteral("Cannot open file %1\n").arg(path) + ui::fileFailureReason(read.errorCode));
        return;
    case ui::FileOutcome::NotAFile:
        showErrorBox(this, QStringLiteral("Cannot open file %1\n").arg(path) + ui::fileFailureReason(read.special));
        return;
    case ui::FileOutcome::TooLarge:
        showErrorBox(this, QStringLiteral("Text exceeds memo capacity\nЖурнал больше %1 МБ не помещается в окно.")
                               .arg(megabytes(ui::kLogFileByteLimit)));
        return;
    case ui::FileOutcome::Done:
        break;
    }
    pane->takeLines(loaded);
#ifdef __GLIBC__
    // The log just replaced was freed below the new one in the heap, where the allocator
    // keeps freed memory resident: give it back, or a second load of a long log leaves the
    // program a whole log larger.
    malloc_trim(0);
#endif
    Label14_->setText(path);
}

void TForm1::saveClick()
{
    if (Label14_->text().isEmpty())
        saveasClick();
    else
        saveLogTo(Label14_->text());
}

void TForm1::saveasClick()
{
    if (!fileLog() || !dialogs_.saveFileName)
        return;
    const QString chosen = dialogs_.saveFileName(this, kSaveFilter);
    if (chosen.isEmpty())
        return;
    const QString path = ui::withLogSuffix(chosen);
    if (saveLogTo(path))
        Label14_->setText(path);
}

bool TForm1::saveLogTo(const QString& path)
{
    ui::LogPane* const pane = fileLog();
    if (!pane)
        return false;
    FileProgress progress(this, QStringLiteral("Сохранение журнала ..."), dialogs_.progressDelayMs);
    const ui::LogWrite written = ui::writeLogFile(path, pane->store(), progress.steps());
    if (written.outcome == ui::FileOutcome::Failed)
        showErrorBox(this, QStringLiteral("Cannot create file %1\n").arg(path) + ui::fileFailureReason(written.errorCode));
    else if (written.outcome == ui::FileOutcome::NotAFile)
        showErrorBox(this, QStringLiteral("Cannot create file %1\n").arg(path) + ui::fileFailureReason(written.special));
    return written.outcome == ui::FileOutcome::Done;
}

void TForm1::N5Click()
{
    ClosePortClick();
    close();
}

} // namespace mainwindow
