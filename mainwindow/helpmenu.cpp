// "Справка": the protocol description and the About window.

#include "tform1.h"

#include "controlnames.h"
#include "helpfile.h"
#include "tform3.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>

namespace mainwindow {

void TForm1::setupHelpMenu()
{
    QAction* about = ui::nameControl(N6_->addAction(QStringLiteral("О программе...")), "N4");
    connect(about, &QAction::triggered, this, &TForm1::N4Click);
    QAction* help = ui::nameControl(N6_->addAction(QStringLiteral("ZENT11 описание...")), "ZENT111");
    connect(help, &QAction::triggered, this, &TForm1::ZENT111Click);
}

void TForm1::ZENT111Click()
{
    // The original description when it is there, otherwise the program's own page.
    const QString path = findHelpFile(dialogs_.helpFolders);
    if (path.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("QLDIXw"), QStringLiteral("Файл справки не найден"));
        return;
    }
    // The viewer runs on its own; whether the desktop found one is not this program's concern.
    if (dialogs_.openUrl)
        dialogs_.openUrl(QUrl::fromLocalFile(path));
}

oprog::TForm3* TForm1::aboutWindow()
{
    if (!aboutWindow_)
        aboutWindow_ = std::make_unique<oprog::TForm3>();
    return aboutWindow_.get();
}

void TForm1::N4Click()
{
    aboutWindow()->exec();
}

} // namespace mainwindow
