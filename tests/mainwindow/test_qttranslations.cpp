// Qt's own words in Russian, read when Qt first asks for one: installing them reads
// no catalogue, the first word asked for reads it, and two threads asking first at
// once both get the Russian word. A process of its own, so nothing asked before.

#include "qttranslations.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <array>
#include <thread>

namespace {

bool catalogueMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("qtbase_ru");
}

} // namespace

class TestQtTranslations : public QObject {
    Q_OBJECT
private slots:
    void catalogueIsReadOnFirstWord();
};

void TestQtTranslations::catalogueIsReadOnFirstWord()
{
    QVERIFY(!catalogueMapped());
    if (!mainwindow::installQtTranslations())
        QSKIP("Qt's Russian translations (qt6-translations-l10n) are not installed");
    QVERIFY(mainwindow::installQtTranslations());
    // Installing asks which way the language is written: left to right, still unread.
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    QVERIFY(!catalogueMapped());

    std::array<QString, 2> words;
    std::array<std::thread, 2> askers;
    for (std::size_t i = 0; i < askers.size(); ++i)
        askers[i] = std::thread([&words, i] { words[i] = QCoreApplication::translate("QPlatformTheme", "Cancel"); });
    for (std::thread& asker : askers)
        asker.join();
    QCOMPARE(words[0], QStringLiteral("Отмена"));
    QCOMPARE(words[1], QStringLiteral("Отмена"));
    QVERIFY(catalogueMapped());

    QMessageBox box(QMessageBox::Question, QStringLiteral("QLDIXw"), QStringLiteral("?"), QMessageBox::Yes);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Да"));
}

QTEST_MAIN(TestQtTranslations)
#include "test_qttranslations.moc"
