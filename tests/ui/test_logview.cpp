// A log pane on the offscreen screen, in the program's proportional font: its text against
// a plain text editor's, tail following, selection and copy as a user makes them, keyboard
// scrolling, and the horizontal range.

#include "logpane.h"
#include "logview.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QMenu>
#include <QImage>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <memory>

using ui::LogPane;
using ui::LogPosition;
using ui::LogView;

namespace {

const QStringList kFrames{
    QStringLiteral("PC-> (07.12.2026 10:11:12)  60 01 81 FB"),
    QStringLiteral("Привет, мир"),
    QString(),
    QStringLiteral("PC<- (07.12.2026 10:11:12)  01 81 00 12 34 56 07 C8"),
    QStringLiteral("ЭРК-2 ok"),
};

// A pane in a shown window of a fixed size.
struct ShownPane {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    LogPane* pane = new LogPane(window.get(), "dannieListBox1");

    ShownPane()
    {
        window->resize(320, 200);
        pane->view()->setGeometry(0, 0, 320, 200);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    LogView* view() const { return pane->view(); }
    QWidget* viewport() const { return view()->viewport(); }
    QScrollBar* vertical() const { return view()->verticalScrollBar(); }
    QScrollBar* horizontal() const { return view()->horizontalScrollBar(); }
    void append(const QStringList& lines) const
    {
        for (const QString& line : lines)
            pane->appendLine(line);
    }
    // Waits until the scroll range counts every line.
    bool settled() const
    {
        return QTest::qWaitFor([this] {
            return vertical()->maximum() == std::max(0, int(pane->lineCount()) - vertical()->pageStep());
        });
    }
    QPoint pointOf(int line, int column) const { return view()->caretRect({line, column}).center(); }
};

QStringList numbered(int count, const QString& prefix = QStringLiteral("строка "))
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << prefix + QString::number(i);
    return lines;
}

void dragWithLeftButton(QWidget* viewport, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mousePress(viewport, Qt::LeftButton, modifiers, from);
    QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, modifiers);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, modifiers, to);
}

// A received-frame line of `bytes` bytes, as a reply window logs it.
QString replyLine(int bytes, int seed = 0)
{
    QString line = QStringLiteral("PC<- (07.12.2026 10:11:12) ");
    for (int i = 0; i < bytes; ++i)
        line += QStringLiteral(" %1").arg((i * 37 + seed) & 0xFF, 2, 16, QChar(u'0')).toUpper();
    return line;
}

QAction* menuAction(QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class TestLogView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void textAsAPlainTextEditorHasIt_data();
    void textAsAPlainTextEditorHasIt();
    void followsTheTailOnlyFromTheBottom_data();
    void followsTheTailOnlyFromTheBottom();
    void selectionCopiesExactText_data();
    void selectionCopiesExactText();
    void keyboardScrolls_data();
    void keyboardScrolls();
    void horizontalRangeReachesTheWidestLine_data();
    void horizontalRangeReachesTheWidestLine();
    void screenShowsWhatAFreshPaintShows_data();
    void screenShowsWhatAFreshPaintShows();
};

void TestLogView::initTestCase()
{
    // The program's font where it is installed: proportional, 11 pixels.
    QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    QApplication::setFont(font);
}

void TestLogView::textAsAPlainTextEditorHasIt_data()
{
    QTest::addColumn<QStringList>("appends");
    QTest::newRow("lines") << QStringList{"a", "b"};
    QTest::newRow("first line empty") << QStringList{"", "a"};
    QTest::newRow("empty lines only") << QStringList{"", ""};
    QTest::newRow("empty first, then more") << QStringList{"", "", "b", "", ""};
    QTest::newRow("last line empty") << QStringList{"a", ""};
    QTest::newRow("line end first") << QStringList{"\n", "a"};
    QTest::newRow("empty then line end") << QStringList{"", "\r\n"};
    QTest::newRow("every line end") << QStringList{"a\r\nb\rc\nd", "e\r\n", "\r\n\r"};
    QTest::newRow("Cyrillic") << kFrames;
}

void TestLogView::textAsAPlainTextEditorHasIt()
{
    QFETCH(QStringList, appends);
    QWidget window;
    new LogPane(&window, "dannieListBox1");
    QPlainTextEdit editor;
    // Found the way tests and automation find every control.
    auto* view = window.findChild<LogView*>(QStringLiteral("dannieListBox1"));
    QVERIFY(view);
    QCOMPARE(view->accessibleDescription(), QStringLiteral("dannieListBox1"));
    LogPane* pane = view->pane();
    QVERIFY(pane);
    QCOMPARE(LogPane::of(view->viewport()), pane);

    for (const QString& line : appends) {
        pane->appendLine(line);
        editor.appendPlainText(line);
        QCOMPARE(pane->toPlainText(), editor.toPlainText());
    }
    const QString text = editor.toPlainText();
    QCOMPARE(pane->lines(), text.isEmpty() ? QStringList() : text.split(u'\n'));

    // Loading the lines back gives the same text.
    pane->setLines(pane->lines());
    QCOMPARE(pane->toPlainText(), text);

    // A pane deleted on its own takes its view along.
    delete pane;
    QVERIFY(!window.findChild<LogView*>());
}

void TestLogView::followsTheTailOnlyFromTheBottom_data()
{
    QTest::addColumn<bool>("scrolledUp");
    QTest::addColumn<bool>("clearedFirst");
    QTest::newRow("at the bottom") << false << false;
    QTest::newRow("scrolled up") << true << false;
    // Lines that come right after a clear, before the view has caught up, are followed.
    QTest::newRow("cleared, then refilled at once") << false << true;
}

void TestLogView::followsTheTailOnlyFromTheBottom()
{
    QFETCH(bool, scrolledUp);
    QFETCH(bool, clearedFirst);
    ShownPane shown;
    shown.append(numbered(100));
    QVERIFY(shown.settled());
    if (clearedFirst) {
        shown.pane->clear();
        shown.append(numbered(100));
        QVERIFY(shown.settled());
    }
    QVERIFY(shown.vertical()->maximum() > 0);
    QCOMPARE(shown.vertical()->value(), shown.vertical()->maximum());
    if (scrolledUp)
        shown.vertical()->setValue(10);

    shown.append(numbered(50, QStringLiteral("ещё ")));
    QVERIFY(shown.settled());
    const int top = shown.vertical()->value();
    QCOMPARE(top, scrolledUp ? 10 : shown.vertical()->maximum());
    // The newest line is in view when following, and out of view otherwise.
    const QRect newest = shown.view()->caretRect({149, 0});
    QCOMPARE(newest.bottom() < shown.viewport()->height() && newest.top() >= 0, !scrolledUp);
}

void TestLogView::selectionCopiesExactText_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<LogPosition>("from");
    QTest::addColumn<LogPosition>("to");
    QTest::addColumn<QString>("expected");

    const QString across = kFrames[1].mid(2) + "\n\n" + kFrames[3] + "\n" + kFrames[4].left(3);
    QTest::newRow("drag across lines") << "drag" << LogPosition{1, 2} << LogPosition{4, 3} << across;
    QTest::newRow("drag upwards") << "drag" << LogPosition{4, 3} << LogPosition{1, 2} << across;
    QTest::newRow("drag within a line") << "drag" << LogPosition{1, 8} << LogPosition{1, 11} << "мир";
    QTest::newRow("shift-click extends") << "shift-click" << LogPosition{0, 28} << LogPosition{3, 4}
                                         << kFrames[0].mid(28) + "\n" + kFrames[1] + "\n\n" + kFrames[3].left(4);
    QTest::newRow("double click on a word") << "double-click" << LogPosition{3, 41} << LogPosition{} << "34";
    QTest::newRow("double click on Cyrillic") << "double-click" << LogPosition{1, 2} << LogPosition{}
                                              << "Привет";
    QTest::newRow("select all, copy by keys") << "keys" << LogPosition{} << LogPosition{} << kFrames.join(u'\n');
    QTest::newRow("select all, copy from the menu") << "menu" << LogPosition{} << LogPosition{}
                                                    << kFrames.join(u'\n');
}

void TestLogView::selectionCopiesExactText()
{
    QFETCH(QString, gesture);
    QFETCH(LogPosition, from);
    QFETCH(LogPosition, to);
    QFETCH(QString, expected);

    ShownPane shown;
    shown.append(kFrames);
    QVERIFY(shown.settled());
    QGuiApplication::clipboard()->clear();
    QWidget* const viewport = shown.viewport();
    const QPoint start = shown.pointOf(int(from.line), int(from.column));
    const QPoint end = shown.pointOf(int(to.line), int(to.column));

    if (gesture == "drag") {
        dragWithLeftButton(viewport, start, end);
    } else if (gesture == "shift-click") {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, start);
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, end);
    } else if (gesture == "double-click") {
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, start);
    } else if (gesture == "keys") {
        QTest::keyClick(shown.view(), Qt::Key_A, Qt::ControlModifier);
    }
    if (gesture == "menu") {
        const std::unique_ptr<QMenu> before(shown.view()->createContextMenu());
        QVERIFY(!menuAction(*before, QStringLiteral("Копировать"))->isEnabled());
        menuAction(*before, QStringLiteral("Выделить всё"))->trigger();
        const std::unique_ptr<QMenu> after(shown.view()->createContextMenu());
        QAction* copy = menuAction(*after, QStringLiteral("Копировать"));
        QVERIFY(copy->isEnabled());
        copy->trigger();
    } else {
        QTest::keyClick(shown.view(), Qt::Key_C, Qt::ControlModifier);
    }
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    QCOMPARE(shown.view()->selectedText(), expected);
}

void TestLogView::keyboardScrolls_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("fromTheEnd");
    QTest::addColumn<Qt::Orientation>("bar");
    QTest::addColumn<QString>("expected"); // "min", "max", "page", "step"

    QTest::newRow("Ctrl+Home") << int(Qt::Key_Home) << Qt::KeyboardModifiers(Qt::ControlModifier) << true
                               << Qt::Vertical << "min";
    QTest::newRow("Ctrl+End") << int(Qt::Key_End) << Qt::KeyboardModifiers(Qt::ControlModifier) << false
                              << Qt::Vertical << "max";
    QTest::newRow("Page Down") << int(Qt::Key_PageDown) << Qt::KeyboardModifiers() << false << Qt::Vertical
                               << "page";
    QTest::newRow("Down") << int(Qt::Key_Down) << Qt::KeyboardModifiers() << false << Qt::Vertical << "step";
    QTest::newRow("End") << int(Qt::Key_End) << Qt::KeyboardModifiers() << false << Qt::Horizontal << "max";
    QTest::newRow("Home") << int(Qt::Key_Home) << Qt::KeyboardModifiers() << true << Qt::Horizontal << "min";
    QTest::newRow("Right") << int(Qt::Key_Right) << Qt::KeyboardModifiers() << false << Qt::Horizontal
                           << "step";
}

void TestLogView::keyboardScrolls()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, fromTheEnd);
    QFETCH(Qt::Orientation, bar);
    QFETCH(QString, expected);

    ShownPane shown;
    shown.append(numbered(200));
    shown.pane->appendLine(QString(300, u'Щ'));
    QVERIFY(shown.settled());
    QScrollBar* const scroll = bar == Qt::Vertical ? shown.vertical() : shown.horizontal();
    QVERIFY(scroll->maximum() > scroll->pageStep());
    scroll->setValue(fromTheEnd ? scroll->maximum() : 0);

    QTest::keyClick(shown.view(), Qt::Key(key), modifiers);
    const int want = expected == "min"    ? 0
                     : expected == "max"  ? scroll->maximum()
                     : expected == "page" ? scroll->pageStep()
                                          : scroll->singleStep();
    QCOMPARE(scroll->value(), want);
}

void TestLogView::horizontalRangeReachesTheWidestLine_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<bool>("scrolledUp");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("widest"); // the line whose end must be in reach

    const QString longLine = QStringLiteral("PC<- (07.12.2026 10:11:12) ") + QString(40, u'Ж') + QString(80, u'i');
    QTest::newRow("long line in view") << QStringList{longLine} << false << "" << 100;
    QTest::newRow("long line out of view") << QStringList{longLine} + numbered(100) << true << "" << 100;
    // The line with the most characters is not always the widest: one drawn counts too.
    QTest::newRow("wider line with fewer characters")
        << QStringList{QString(150, u'i'), QString(100, u'Ж')} << false << "" << 101;
    QTest::newRow("larger font") << QStringList{longLine} << false << "font" << 100;
    QTest::newRow("cleared") << QStringList{longLine} << false << "clear" << -1;
    // A full reply buffer in one window: a line of about 12,300 characters.
    QTest::newRow("4 KiB reply") << QStringList{replyLine(4096)} << false << "" << 100;
    QTest::newRow("4 KiB reply out of view") << QStringList{replyLine(4096)} + numbered(100) << true << "" << 100;
}

void TestLogView::horizontalRangeReachesTheWidestLine()
{
    QFETCH(QStringList, added);
    QFETCH(bool, scrolledUp);
    QFETCH(QString, change);
    QFETCH(int, widest);

    ShownPane shown;
    shown.append(numbered(100));
    QVERIFY(shown.settled());
    QCOMPARE(shown.horizontal()->maximum(), 0);
    if (scrolledUp)
        shown.vertical()->setValue(0);
    shown.append(added);
    QVERIFY(shown.settled());
    QVERIFY(QTest::qWaitFor([&] { return shown.horizontal()->maximum() > 0; }));

    if (change == "font") {
        const int before = shown.horizontal()->maximum();
        QFont larger = shown.pane->font();
        larger.setPixelSize(22);
        shown.pane->setFont(larger);
        QVERIFY(shown.horizontal()->maximum() > before * 3 / 2);
    } else if (change == "clear") {
        shown.pane->clear();
        QVERIFY(QTest::qWaitFor([&] { return shown.horizontal()->maximum() == 0; }));
        return;
    }
    // Scrolled to the far right, the widest line ends in view, just inside the right edge.
    const int width = shown.viewport()->width();
    int lineEnd = 0;
    const bool inReach = QTest::qWaitFor([&] {
        shown.horizontal()->setValue(shown.horizontal()->maximum());
        lineEnd = shown.view()->caretRect({widest, added[widest - 100].size()}).x();
        return lineEnd < width && lineEnd > width - 12;
    });
    QVERIFY2(inReach, qPrintable(QStringLiteral("line end at %1 of %2").arg(lineEnd).arg(width)));
}

void TestLogView::screenShowsWhatAFreshPaintShows_data()
{
    QTest::addColumn<int>("before");      // lines in the log first
    QTest::addColumn<int>("scrolledUp");  // lines scrolled up from the tail before the appends
    QTest::addColumn<int>("scrolledRight"); // pixels
    QTest::addColumn<int>("appends");
    QTest::addColumn<bool>("oneByOne");   // each append shown before the next

    QTest::newRow("filling the view") << 3 << 0 << 0 << 6 << true;
    QTest::newRow("following the tail") << 30 << 0 << 0 << 12 << true;
    QTest::newRow("following the tail, scrolled right") << 30 << 0 << 300 << 12 << true;
    QTest::newRow("scrolled up") << 30 << 5 << 0 << 12 << true;
    QTest::newRow("scrolled up by less than the appends") << 30 << 2 << 0 << 12 << true;
    QTest::newRow("more than a view at once") << 30 << 0 << 0 << 40 << false;
    QTest::newRow("a few at once") << 30 << 0 << 0 << 3 << false;
}

// Lines drawn once are moved on the screen rather than drawn again as the view scrolls:
// whatever the appends and scrolls, the screen must hold what painting the view afresh
// gives.
void TestLogView::screenShowsWhatAFreshPaintShows()
{
    QFETCH(int, before);
    QFETCH(int, scrolledUp);
    QFETCH(int, scrolledRight);
    QFETCH(int, appends);
    QFETCH(bool, oneByOne);

    ShownPane shown;
    int seed = 0;
    const auto nextLine = [&] {
        ++seed;
        return seed % 3 == 0 ? QStringLiteral("TimeOut") : replyLine(20 + seed * 53 % 1400, seed);
    };
    for (int i = 0; i < before; ++i)
        shown.pane->appendLine(nextLine());
    QVERIFY(shown.settled());
    shown.vertical()->setValue(shown.vertical()->maximum() - scrolledUp);
    QVERIFY(QTest::qWaitFor([&] { return shown.horizontal()->maximum() >= scrolledRight; }));
    shown.horizontal()->setValue(scrolledRight);
    for (int i = 0; i < appends; ++i) {
        shown.pane->appendLine(nextLine());
        if (oneByOne)
            QVERIFY(shown.settled());
    }
    QVERIFY(shown.settled());

    QWidget* const viewport = shown.viewport();
    const QRect inWindow(viewport->mapTo(shown.window.get(), QPoint(0, 0)), viewport->size());
    const auto onScreen = [&] {
        return shown.window->screen()
            ->grabWindow(shown.window->winId(), inWindow.x(), inWindow.y(), inWindow.width(), inWindow.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const auto painted = [&] { return viewport->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    QTRY_VERIFY_WITH_TIMEOUT(onScreen() == painted(), 5000);
    // Something was drawn: the check compares text, not two empty views.
    const QImage image = painted();
    const QRgb background = image.pixel(0, 0);
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y)
        for (int x = 0; x < image.width() && !drawn; ++x)
            drawn = image.pixel(x, y) != background;
    QVERIFY(drawn);
}

QTEST_MAIN(TestLogView)
#include "test_logview.moc"
