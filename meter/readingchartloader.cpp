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
#if defined(QLDIXW_NO_READING_CHART)
#include "readingcsv.h"

#include <QFileDialog>
#include <QPushButton>
#include <QSaveFile>
#endif

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
#if defined(QLDIXW_NO_READING_CHART)
    return {};
#else
    const QDir programFolder(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(programFolder.filePath(QStringLiteral(QLDIXW_MODULE_DIR_FROM_PROGRAM "/" QLDIXW_READING_CHART_MODULE_FILE)))};
#endif
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

#if defined(QLDIXW_NO_READING_CHART)
namespace {

// A build without Qt Charts has no chart window; the readings are still there to save.
void offerCsvInstead(ReadingHistory& history, QWidget* anchor)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("График показаний"),
                    QStringLiteral("График показаний не входит в эту сборку программы: она собрана без "
                                   "библиотеки графиков. Показания можно сохранить в файл CSV и открыть "
                                   "в электронной таблице."),
                    QMessageBox::Close, anchor->window());
    box.setObjectName(QStringLiteral("chartMissingBox"));
    QPushButton* save = box.addButton(QStringLiteral("Сохранить CSV ..."), QMessageBox::AcceptRole);
    save->setObjectName(QStringLiteral("chartMissingSaveCsv"));
    box.setDefaultButton(save);
    box.exec();
    if (box.clickedButton() != save)
        return;
    QString path = QFileDialog::getSaveFileName(anchor->window(), QStringLiteral("Сохранить показания"),
                                                QDir::home().filePath(QStringLiteral("показания.csv")),
                                                QStringLiteral("Файл CSV (*.csv)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeReadingsCsv(history, file) || !file.commit()) {
        QMessageBox::warning(anchor->window(), QStringLiteral("Сохранить показания"),
                             QStringLiteral("Не удалось сохранить %1: %2")
                                 .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}

} // namespace
#endif

QAction* makeReadingChartAction(ReadingHistory& history, QWidget* anchor)
{
    auto* action = ui::nameControl(new QAction(QStringLiteral("График показаний"), anchor), "chartWindowAction");
    QObject::connect(action, &QAction::triggered, anchor, [&history, anchor, window = QPointer<QWidget>()]() mutable {
        if (!window) {
#if defined(QLDIXW_NO_READING_CHART)
            if (chosenFiles().isEmpty()) {
                offerCsvInstead(history, anchor);
                return;
            }
#endif
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
