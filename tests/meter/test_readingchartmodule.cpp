// The chart module as the program meets it: Qt Charts is not mapped until the chart
// window is first asked for; the window then made by the module reads the history and
// follows it as it grows; a module that cannot be loaded is said in a box, and the
// menu item works once the module is there.
//
// The module stays loaded once it loaded, so the cases that cannot load it come first.

#include "modalcatcher.h"
#include "readingchartloader.h"
#include "readinghistory.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace meter;

namespace {

bool chartsMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Charts.so");
}

QList<QWidget*> chartWindows(const QWidget& mainWindow)
{
    return mainWindow.findChildren<QWidget*>(QStringLiteral("ReadingChartWindow"));
}

} // namespace

class TestReadingChartModule : public QObject {
    Q_OBJECT
private slots:
    void unloadableModuleIsSaidInABox_data();
    void unloadableModuleIsSaidInABox();
    void chartsAreMappedWhenTheWindowFirstOpens();
};

void TestReadingChartModule::unloadableModuleIsSaidInABox_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QStringLiteral("missing.so") << QStringLiteral("файла нет");
    QTest::newRow("not a library") << QStringLiteral("text.so") << QStringLiteral("это не модуль Qt");
    // A real Qt plugin, of another interface: refused before any of its code runs.
    QTest::newRow("another plugin")
        << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/imageformats/libqico.so")
        << QStringLiteral("это не модуль графиков");
}

void TestReadingChartModule::unloadableModuleIsSaidInABox()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (QDir::isRelativePath(file))
        file = dir.filePath(file);
    if (file.endsWith(QStringLiteral("text.so"))) {
        QFile text(file);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a library\n");
    }
    if (reason.contains(QStringLiteral("графиков")) && !QFile::exists(file))
        QSKIP("Qt's ICO image plugin is not installed");
    setReadingChartModuleFiles({file});

    ReadingHistory history;
    QWidget mainWindow;
    mainWindow.show();
    QAction* action = makeReadingChartAction(history, &mainWindow);
    qldixw::testing::ModalCatcher catcher;
    action->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(catcher.texts().size(), 1, 10000);
    const QString said = catcher.texts().front();
    QVERIFY2(said.contains(QStringLiteral("модуль графиков")), qPrintable(said));
    QVERIFY2(said.contains(QDir::toNativeSeparators(file)), qPrintable(said));
    QVERIFY2(said.contains(reason), qPrintable(said));
    QVERIFY(chartWindows(mainWindow).isEmpty());
    QVERIFY(!chartsMapped());
}

void TestReadingChartModule::chartsAreMappedWhenTheWindowFirstOpens()
{
    ReadingHistory history;
    const QDateTime start = QDateTime::currentDateTimeUtc();
    history.add(Quantity::V1, start, QStringLiteral("220.5"));
    QWidget mainWindow;
    mainWindow.show();
    // The program's own menu item is made at start, its module is not loaded then.
    setReadingChartModuleFiles({QStringLiteral("missing.so"), QStringLiteral(QLDIXW_READING_CHART_MODULE)});
    QAction* action = makeReadingChartAction(history, &mainWindow);
    QVERIFY(!chartsMapped());

    qldixw::testing::ModalCatcher catcher;
    action->trigger();
    action->trigger();
    QVERIFY(chartsMapped());
    QCOMPARE(chartWindows(mainWindow).size(), 1);
    QWidget* window = chartWindows(mainWindow).front();
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("График показаний"));

    // The window counts what the history holds, and what it gains while open.
    auto* count = window->findChild<QLabel*>(QStringLiteral("chartCount"));
    QVERIFY(count);
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("Показаний: 1"), 10000);
    history.add(Quantity::V2, start.addMSecs(300), QStringLiteral("221"));
    history.add(Quantity::V3, start.addMSecs(600), QStringLiteral("219"));
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("Показаний: 3"), 10000);
    QVERIFY(catcher.texts().isEmpty());
}

QTEST_MAIN(TestReadingChartModule)
#include "test_readingchartmodule.moc"
