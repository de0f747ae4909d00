// "Настройка" → "Шрифт...", "Справка" → the protocol description and the About window,
// on the whole program, and Qt's own words in Russian. The font dialog and the desktop
// are answered by the test.

#include "consoletestbench.h"
#include "frametext.h"
#include "helpfile.h"
#include "modalcatcher.h"
#include "tform3.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>

using namespace qldixw::testing;

namespace {

// The panes that take the chosen font, in their order, and panes that must not.
const QStringList kFontPanes = {QStringLiteral("dannieListBox1"), QStringLiteral("dannielistBoxQLIR"),
                                QStringLiteral("dannielistBoxQLEX"), QStringLiteral("dannielistBoxQLIM"),
                                QStringLiteral("dannielistBoxQLIF")};
const QStringList kOtherPanes = {QStringLiteral("Memo1"), QStringLiteral("Memo2"), QStringLiteral("Memo_log")};

QString describe(const QFont& font)
{
    return QStringLiteral("%1 %2px%3%4")
        .arg(font.family())
        .arg(font.pixelSize())
        .arg(font.bold() ? QStringLiteral(" bold") : QString())
        .arg(font.italic() ? QStringLiteral(" italic") : QString());
}

QFont font(const char* family, int pixels, bool bold, bool italic)
{
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

} // namespace

class TestFontHelpAbout : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fontGoesToTheFivePanesOnly();
    void helpFile_data();
    void helpFile();
    void helpPageBesideProgramAndInstalled();
    void helpPageFramesCarryTheirChecksums();
    void aboutWindow();
    void qtWordsInRussian_data();
    void qtWordsInRussian();

private:
    void trigger(const char* item) { bench_->window().findChild<QAction*>(QString::fromLatin1(item))->trigger(); }
    QString paneFont(const QString& name)
    {
        return describe(bench_->window().findChild<ui::LogPane*>(name)->font());
    }
    QStringList paneFonts(const QStringList& names)
    {
        QStringList fonts;
        for (const QString& name : names)
            fonts << paneFont(name);
        return fonts;
    }

    std::unique_ptr<ConsoleTestBench> bench_;
    // The font dialog: the font it was shown at, and the user's answer.
    QList<QFont> fontShownAt_;
    std::optional<QFont> fontAnswer_;
    QList<QUrl> opened_;
};

void TestFontHelpAbout::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    fontShownAt_.clear();
    fontAnswer_.reset();
    opened_.clear();
    mainwindow::MenuDialogs dialogs = mainwindow::systemMenuDialogs();
    dialogs.font = [this](QWidget*, const QFont& initial) {
        fontShownAt_ << initial;
        return fontAnswer_;
    };
    dialogs.openUrl = [this](const QUrl& url) {
        opened_ << url;
        return true;
    };
    bench_->window().setMenuDialogs(dialogs);
}

void TestFontHelpAbout::cleanup()
{
    bench_.reset();
}

// The dialog starts at Tahoma 11 px and then at the last font chosen; a chosen font goes
// to the console log and the four memory-area panes while their mode is hidden, and to
// nothing else; cancelling changes nothing.
void TestFontHelpAbout::fontGoesToTheFivePanesOnly()
{
    // The memory and meter panels are built when first needed: the font chosen before
    // reaches them all the same, and leaves their other panes at the window's font.
    QCOMPARE(bench_->window().mode(), int(ModeDIX));
    const QStringList others(kOtherPanes.size(), describe(bench_->window().font()));
    const QString consoleLine = describe(bench_->control<QLineEdit>(QStringLiteral("otpravedit"))->font());

    const QFont first = font("DejaVu Sans Mono", 15, true, false);
    fontAnswer_ = first;
    trigger("N8");
    QCOMPARE(fontShownAt_.size(), 1);
    QCOMPARE(describe(fontShownAt_[0]), QStringLiteral("Tahoma 11px"));
    QCOMPARE(paneFonts(kFontPanes), QStringList(5, describe(first)));
    QCOMPARE(describe(bench_->control<QLineEdit>(QStringLiteral("otpravedit"))->font()), consoleLine);

    // The dialog is not preloaded from the panes.
    bench_->window().findChild<ui::LogPane*>(kFontPanes[0])->setFont(font("DejaVu Serif", 9, false, false));
    fontAnswer_.reset();
    trigger("N8");
    QCOMPARE(describe(fontShownAt_[1]), describe(first));
    QCOMPARE(paneFont(kFontPanes[0]), QStringLiteral("DejaVu Serif 9px"));
    QCOMPARE(paneFonts(kFontPanes.mid(1)), QStringList(4, describe(first)));

    const QFont second = font("DejaVu Sans", 12, false, true);
    fontAnswer_ = second;
    trigger("N8");
    QCOMPARE(describe(fontShownAt_[2]), describe(first));
    bench_->selectMode(ModeQL);
    QCOMPARE(paneFonts(kFontPanes), QStringList(5, describe(second)));
    bench_->selectMode(ModeERK2);
    QCOMPARE(paneFonts(kOtherPanes), others);
}

// Files are named "<folder>/<document>": folders "program" and "data" are where the
// window looks, "work" is the working folder; documents "original" and "page".
void TestFontHelpAbout::helpFile_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("opened"); // empty: the box says there is none

    QTest::newRow("original and page beside the program")
        << QStringList{"program/original", "program/page"} << QString("program/original");
    QTest::newRow("page beside the program") << QStringList{"program/page"} << QString("program/page");
    QTest::newRow("original in the data folder preferred to the page beside the program")
        << QStringList{"data/original", "program/page"} << QString("data/original");
    QTest::newRow("page in the data folder") << QStringList{"data/page"} << QString("data/page");
    QTest::newRow("both in the working folder only") << QStringList{"work/original", "work/page"} << QString();
    QTest::newRow("nowhere") << QStringList{} << QString();
}

void TestFontHelpAbout::helpFile()
{
    QFETCH(QStringList, files);
    QFETCH(QString, opened);

    QTemporaryDir program, data, work;
    const QMap<QString, QString> folders{{"program", program.path()}, {"data", data.path()}, {"work", work.path()}};
    const QMap<QString, QString> documents{{"original", mainwindow::kHelpFileName}, {"page", mainwindow::kHelpPageName}};
    const auto pathOf = [&](const QString& file) {
        return QDir(folders[file.section(u'/', 0, 0)]).filePath(documents[file.section(u'/', 1)]);
    };
    for (const QString& file : files) {
        QFile document(pathOf(file));
        QVERIFY(document.open(QIODevice::WriteOnly));
    }
    const QString savedWorkingFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(savedWorkingFolder); });
    mainwindow::MenuDialogs dialogs = mainwindow::systemMenuDialogs();
    dialogs.openUrl = [this](const QUrl& url) {
        opened_ << url;
        return true;
    };
    dialogs.helpFolders = {program.path(), data.path()};
    bench_->window().setMenuDialogs(dialogs);

    ModalCatcher boxes;
    trigger("ZENT111");
    if (!opened.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(opened_, QList<QUrl>{QUrl::fromLocalFile(pathOf(opened))}, 10000);
        QCOMPARE(boxes.texts(), QStringList());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{QStringLiteral("Файл справки не найден")}, 10000);
        QCOMPARE(opened_, QList<QUrl>());
    }
    // An empty or relative folder never stands for the working folder.
    QCOMPARE(mainwindow::findHelpFile({QString(), QStringLiteral("."), QStringLiteral("sub/..")}), QString());
}

// The program's own page is found by the program where the build puts it and where an
// install puts it, wherever that install went.
void TestFontHelpAbout::helpPageBesideProgramAndInstalled()
{
    const QString programFolder = QStringLiteral(QLDIXW_PROGRAM_DIR);
    QCOMPARE(mainwindow::findHelpFile(mainwindow::helpFolders(programFolder)),
             QDir(programFolder).filePath(mainwindow::kHelpPageName));

    QTemporaryDir prefix;
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(QLDIXW_CMAKE), {"--install", QStringLiteral(QLDIXW_BUILD_DIR), "--prefix",
                                                 prefix.path(), "--component", "help"});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, install.readAll().constData());
    const QString installedProgramFolder = QDir(prefix.path()).filePath(QStringLiteral("bin"));
    const QString found = mainwindow::findHelpFile(mainwindow::helpFolders(installedProgramFolder));
    QVERIFY2(found.startsWith(prefix.path() + u'/'), qPrintable(found));
    QCOMPARE(QFileInfo(found).fileName(), mainwindow::kHelpPageName);
}

// Every frame the page writes out with its checksum is right, the page is well formed
// (an unclosed element would show as garbage in a browser), and its links lead to its
// own headings.
void TestFontHelpAbout::helpPageFramesCarryTheirChecksums()
{
    QFile page(QDir(QStringLiteral(QLDIXW_PROGRAM_DIR)).filePath(mainwindow::kHelpPageName));
    QVERIFY(page.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&page);
    int frames = 0;
    QSet<QString> ids, links;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.hasAttribute(QStringLiteral("id")))
            ids << attributes.value(QStringLiteral("id")).toString();
        if (xml.name() == u"a")
            links << attributes.value(QStringLiteral("href")).toString();
        if (xml.name() != u"code" || attributes.value(QStringLiteral("class")) != u"frame")
            continue;
        const QString text = xml.readElementText();
        QByteArray bytes;
        for (const QString& pair : text.split(u' ', Qt::SkipEmptyParts)) {
            bool ok = false;
            bytes.append(char(pair.toUInt(&ok, 16)));
            QVERIFY2(ok && pair.size() == 2, qPrintable(text));
        }
        QVERIFY2(bytes.size() >= 2, qPrintable(text));
        QVERIFY2(transport::frameChecksum(bytes.first(bytes.size() - 1)) == std::uint8_t(bytes.back()), qPrintable(text));
        ++frames;
    }
    QVERIFY2(!xml.hasError(), qPrintable(QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString())));
    QVERIFY2(frames >= 40, qPrintable(QString::number(frames)));
    QVERIFY(!links.isEmpty());
    for (const QString& link : links)
        QVERIFY2(link.startsWith(u'#') && ids.contains(link.mid(1)), qPrintable(link));
}

// "О программе..." shows the About window modally until "Закрыть"; its pictures are
// decoded from JPEG, and its link opens the project's address.
void TestFontHelpAbout::aboutWindow()
{
    oprog::TForm3& about = *bench_->windows().Form3();
    QList<QUrl> linked;
    about.setUrlOpener([&linked](const QUrl& url) {
        linked << url;
        return true;
    });

    QWidget* shownModal = nullptr;
    QTimer::singleShot(0, this, [&] {
        shownModal = QApplication::activeModalWidget();
        if (auto* close = about.findChild<QPushButton*>(QStringLiteral("Button1")))
            QTest::mouseClick(close, Qt::LeftButton);
    });
    trigger("N4");
    QCOMPARE(shownModal, &about);
    QVERIFY(!about.isVisible());

    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    // Each picture is decoded, fills its frame, and is a drawing, not a blank.
    const struct {
        const char* name;
        QRect frame;
    } pictures[] = {{"Image1", {8, 8, 105, 97}}, {"Image3", {320, 16, 65, 33}}, {"Image2", {336, 88, 25, 33}}};
    for (const auto& picture : pictures) {
        auto* image = about.findChild<QLabel*>(QString::fromLatin1(picture.name));
        QVERIFY2(image && image->geometry() == picture.frame && image->hasScaledContents(), picture.name);
        const QImage decoded = image->pixmap().toImage();
        QVERIFY2(!decoded.isNull(), picture.name);
        QSet<QRgb> colours;
        for (int y = 0; y < decoded.height(); y += 3)
            for (int x = 0; x < decoded.width(); x += 3)
                colours.insert(decoded.pixel(x, y) & 0xF0F0F0);
        QVERIFY2(colours.size() > 4, picture.name);
    }

    QTest::mouseClick(about.findChild<QLabel*>(QStringLiteral("Label2")), Qt::LeftButton);
    QCOMPARE(linked, QList<QUrl>{QUrl(QString::fromLatin1(oprog::kProjectAddress))});
}

void TestFontHelpAbout::qtWordsInRussian_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("text");

    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << QStringLiteral("Отмена");
    QTest::newRow("Save") << int(QMessageBox::Save) << QStringLiteral("Сохранить");
    QTest::newRow("Open") << int(QMessageBox::Open) << QStringLiteral("Открыть");
    QTest::newRow("Yes") << int(QMessageBox::Yes) << QStringLiteral("&Да");
}

// The program's start puts Qt's own dialogs into Russian, as the rest of the window is.
void TestFontHelpAbout::qtWordsInRussian()
{
    QFETCH(int, button);
    QFETCH(QString, text);

    QMessageBox box(QMessageBox::Question, QStringLiteral("QLDIXw"), QStringLiteral("?"),
                    QMessageBox::StandardButton(button), &bench_->window());
    QCOMPARE(box.button(QMessageBox::StandardButton(button))->text(), text);
}

QTEST_MAIN(TestFontHelpAbout)
#include "test_fonthelpabout.moc"
