#include "qttranslations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>
#include <mutex>

namespace mainwindow {

namespace {

// Qt's catalogue is read the first time Qt asks for one of its words (a message box's
// buttons, a text field's menu), not at start: a run that opens no dialog never needs
// it, and a catalogue once read keeps about 100 KiB of the program resident.
class QtWordsOnDemand : public QTranslator {
public:
    QtWordsOnDemand(QObject* parent, QString folder) : QTranslator(parent), folder_(std::move(folder)) {}

    QString translate(const char* context, const char* sourceText, const char* disambiguation, int n) const override
    {
        // Installing a translator asks at once which way the language is written; that
        // answer alone does not need the catalogue.
        if (context && sourceText && std::strcmp(context, "QGuiApplication") == 0
            && std::strcmp(sourceText, "QT_LAYOUT_DIRECTION") == 0)
            return QStringLiteral("LTR");
        // Qt may ask from another thread (the file dialog's model does).
        std::call_once(read_, [this] {
            // Found at install; a catalogue that cannot be read leaves Qt's words English.
            [[maybe_unused]] const bool read = catalogue_.load(QLocale(QLocale::Russian, QLocale::Russia),
                                                               QStringLiteral("qtbase"), QStringLiteral("_"), folder_);
        });
        return catalogue_.translate(context, sourceText, disambiguation, n);
    }
    // Not empty before it is read, or the application would pass over it.
    bool isEmpty() const override { return false; }

private:
    const QString folder_;
    mutable std::once_flag read_;
    mutable QTranslator catalogue_;
};

} // namespace

bool installQtTranslations()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    static const QString kName = QStringLiteral("qtbase_ru");
    if (app->findChild<QTranslator*>(kName, Qt::FindDirectChildrenOnly))
        return true;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // The names QTranslator tries for the Russian of Russia, the longer first.
    if (!QFileInfo::exists(folder + QStringLiteral("/qtbase_ru_RU.qm"))
        && !QFileInfo::exists(folder + QStringLiteral("/qtbase_ru.qm")))
        return false;
    // The interface is Russian whatever the user's locale, so Qt's words are too.
    auto* translator = new QtWordsOnDemand(app, folder);
    translator->setObjectName(kName);
    QCoreApplication::installTranslator(translator);
    return true;
}

} // namespace mainwindow
