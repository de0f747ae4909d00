#include "qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace mainwindow {

bool installQtTranslations()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    static const QString kName = QStringLiteral("qtbase_ru");
    if (app->findChild<QTranslator*>(kName, Qt::FindDirectChildrenOnly))
        return true;
    // The interface is Russian whatever the user's locale, so Qt's words are too.
    auto* translator = new QTranslator(app);
    translator->setObjectName(kName);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

} // namespace mainwindow
