// "Настройка" → "Шрифт...", "Справка" → the protocol description and the About window,
// on the whole program. The font dialog and the desktop are answered by the test.

#include "consoletestbench.h"
#include "helpfile.h"
#include "modalcatcher.h"
#include "tform3.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

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
    void aboutWindow();

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

void TestFontHelpAbout::helpFile_data()
{
    QTest::addColumn<bool>("besideProgram");
    QTest::addColumn<bool>("inWorkingFolder");

    QTest::newRow("beside the program") << true << false;
    QTest::newRow("beside the program and in the working folder") << true << true;
    QTest::newRow("in the working folder only") << false << true;
    QTest::newRow("nowhere") << false << false;
}

void TestFontHelpAbout::helpFile()
{
    QFETCH(bool, besideProgram);
    QFETCH(bool, inWorkingFolder);

    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(mainwindow::kHelpFileName);
    QTemporaryDir workingFolder;
    const QString savedWorkingFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workingFolder.path()));
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(savedWorkingFolder);
        QFile::remove(beside);
    });
    QFile::remove(beside);
    for (const auto& [wanted, path] : {std::pair{besideProgram, beside},
                                       std::pair{inWorkingFolder, workingFolder.filePath(mainwindow::kHelpFileName)}}) {
        QFile file(path);
        if (wanted)
            QVERIFY(file.open(QIODevice::WriteOnly));
    }

    ModalCatcher boxes;
    trigger("ZENT111");
    if (besideProgram) {
        QTRY_COMPARE_WITH_TIMEOUT(opened_, QList<QUrl>{QUrl::fromLocalFile(beside)}, 10000);
        QCOMPARE(boxes.texts(), QStringList());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{QStringLiteral("Файл справки не найден")}, 10000);
        QCOMPARE(opened_, QList<QUrl>());
    }
    // An empty or relative folder never stands for the working folder.
    QCOMPARE(mainwindow::findHelpFile({QString(), QStringLiteral("."), QStringLiteral("sub/..")}), QString());
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

QTEST_MAIN(TestFontHelpAbout)
#include "test_fonthelpabout.moc"
