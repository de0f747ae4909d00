#include "readingchartloader.h"

#include "controlnames.h"
#include "readingchartmodule.h"
#include "readinghistory.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QMessageBox>
#include <QPluginLoader>
#include <QPointer>

namespace meter {

namespace {

QStringList& chosenFiles()
{
    static QStringList files;
    return files;
}

ReadingChartModule*& loadedModule()
{
    static ReadingChartModule* module = nullptr;
    return module;
}

// Why one file gave no module, or nothing when it gave one.
QString tryLoad(const QString& file, ReadingChartModule** module)
{
    const QString shown = QDir::toNativeSeparators(file);
    if (!QFileInfo(file).isFile())
        return QStringLiteral("%1: файла нет").arg(shown);
    QPluginLoader loader(file);
    // The interface's name is read from the file before any of its code runs.
    if (loader.metaData().value(QStringLiteral("IID")).toString() != QLatin1String(QLDIXW_READING_CHART_MODULE_IID)) {
        if (loader.metaData().isEmpty())
            return QStringLiteral("%1: это не модуль Qt (%2)").arg(shown, loader.errorString());
        return QStringLiteral("%1: это не модуль графиков этой версии программы").arg(shown);
    }
    // The module stays loaded for the rest of the run: its windows' code lives in it.
    auto* found = qobject_cast<ReadingChartModule*>(loader.instance());
    if (!found)
        return QStringLiteral("%1: %2").arg(shown, loader.errorString());
    *module = found;
    return {};
}

} // namespace

QStringList readingChartModuleFiles()
{
    if (!chosenFiles().isEmpty())
        return chosenFiles();
    const QDir programFolder(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(programFolder.filePath(QStringLiteral(QLDIXW_MODULE_DIR_FROM_PROGRAM "/" QLDIXW_READING_CHART_MODULE_FILE)))};
}

void setReadingChartModuleFiles(const QStringList& files)
{
    chosenFiles() = files;
}

ReadingChartModule* readingChartModule(QString* error)
{
    ReadingChartModule*& module = loadedModule();
    if (module)
        return module;
    QStringList reasons;
    for (const QString& file : readingChartModuleFiles()) {
        const QString reason = tryLoad(file, &module);
        if (module)
            return module;
        reasons << reason;
    }
    if (error)
        *error = reasons.join(u'\n');
    return nullptr;
}

QAction* makeReadingChartAction(ReadingHistory& history, QWidget* anchor)
{
    auto* action = ui::nameControl(new QAction(QStringLiteral("График показаний"), anchor), "chartWindowAction");
    QObject::connect(action, &QAction::triggered, anchor, [&history, anchor, window = QPointer<QWidget>()]() mutable {
        if (!window) {
            QString error;
            ReadingChartModule* module = readingChartModule(&error);
            if (!module) {
                QMessageBox::warning(anchor->window(), QStringLiteral("График показаний"),
                                     QStringLiteral("Окно «График показаний» не открывается: не удалось загрузить "
                                                    "модуль графиков. Остальная программа работает как прежде; "
                                                    "переустановка программы вернёт модуль.\n\n%1")
                                         .arg(error));
                return;
            }
            window = module->createWindow(history, anchor->window());
        }
        window->show();
        window->raise();
        window->activateWindow();
    });
    return action;
}

} // namespace meter
