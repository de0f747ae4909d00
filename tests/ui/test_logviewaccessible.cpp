// A log pane as assistive technology reads it: the text interface found through
// QAccessible::queryAccessibleInterface, against the lines joined by "\n" and against
// Qt's own rules applied to that whole text; the caret and selection shared with the view;
// and the events a listener gets, replayed on a copy of the text that must end up as the
// pane's.

#include "logpane.h"
#include "logview.h"

#include <QAccessible>
#include <QApplication>
#include <QFontDatabase>
#include <QScrollBar>
#include <QTest>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <private/qguiapplication_p.h>

#include <memory>
#include <vector>

using ui::LogPane;
using ui::LogPosition;

namespace {

const QStringList kLines{
    QStringLiteral("PC-> (07.12.2026 18:05:07)  60 01 81 FB"),
    QStringLiteral("Ошибка при программировании"),
    QString(),
    QStringLiteral("TimeOut"),
    QStringLiteral("PC<- (07.12.2026 18:05:08)  01 81 00 12 34 56 07 C8. Ещё одно предложение!"),
    QStringLiteral("смайл \U0001F600 конец"),
};

// The platform's switch that a screen reader turns on; Qt sends no events while it is off.
void setAccessibilityActive(bool active)
{
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(active);
}

// What a listener got: the kind, and for text changes where and what.
struct Heard {
    QAccessible::Event type;
    int position;
    QString text;
    int selectionStart = -1;
    int selectionEnd = -1;
};
std::vector<Heard> heard;

void listen(QAccessibleEvent* event)
{
    switch (event->type()) {
    case QAccessible::TextInserted: {
        const auto* insert = static_cast<QAccessibleTextInsertEvent*>(event);
        heard.push_back({event->type(), insert->changePosition(), insert->textInserted()});
        break;
    }
    case QAccessible::TextRemoved: {
        const auto* remove = static_cast<QAccessibleTextRemoveEvent*>(event);
        heard.push_back({event->type(), remove->changePosition(), remove->textRemoved()});
        break;
    }
    case QAccessible::TextCaretMoved:
        heard.push_back({event->type(), static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition(), {}});
        break;
    case QAccessible::TextSelectionChanged: {
        const auto* selection = static_cast<QAccessibleTextSelectionEvent*>(event);
        heard.push_back({event->type(), selection->cursorPosition(), {}, selection->selectionStart(),
                         selection->selectionEnd()});
        break;
    }
    default:
        break;
    }
}

// Qt's own answers for a text given whole: the reference for the answers taken from the store.
class WholeText : public QAccessibleTextInterface {
public:
    explicit WholeText(QString text)
        : text_(std::move(text))
    {
    }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override { return text_.mid(start, end - start); }
    int characterCount() const override { return int(text_.size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int*, int*) const override { return {}; }

private:
    QString text_;
};

// A pane with lines in a shown window, and its text interface.
struct ShownPane {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    LogPane* pane = new LogPane(window.get(), "Memo_log");

    explicit ShownPane(const QStringList& lines = kLines)
    {
        window->resize(300, 120);
        pane->view()->setGeometry(0, 0, 300, 120);
        for (const QString& line : lines)
            pane->appendLine(line);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    QAccessibleInterface* accessible() const { return QAccessible::queryAccessibleInterface(pane->view()); }
    QAccessibleTextInterface* text() const { return accessible() ? accessible()->textInterface() : nullptr; }
    // Waits until the view has taken in every line (its scroll range counts them), which is
    // when it tells the listeners.
    bool settled() const
    {
        const QScrollBar* vertical = pane->view()->verticalScrollBar();
        return QTest::qWaitFor([this, vertical] {
            return vertical->maximum() == std::max(0, int(pane->lineCount()) - vertical->pageStep());
        });
    }
};

int offsetOf(const QStringList& lines, qsizetype line, qsizetype column)
{
    int offset = 0;
    for (qsizetype i = 0; i < line; ++i)
        offset += int(lines[i].size()) + 1;
    return offset + int(column);
}

} // namespace

class TestLogViewAccessible : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void textByRange_data();
    void textByRange();
    void lineAtOffset_data();
    void lineAtOffset();
    void boundariesAsQtFindsThemInTheWholeText();
    void caretAndSelectionAreTheViewsOwn_data();
    void caretAndSelectionAreTheViewsOwn();
    void charactersAreWhereTheyAreDrawn();
    void listenersFollowTheText_data();
    void listenersFollowTheText();
    void nothingIsSentWithoutAListener();
};

void TestLogViewAccessible::initTestCase()
{
    QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    QApplication::setFont(font);
    QVERIFY(QGuiApplicationPrivate::platformIntegration()->accessibility());
    QAccessible::installUpdateHandler(listen);
}

void TestLogViewAccessible::init()
{
    setAccessibilityActive(true);
    heard.clear();
}

void TestLogViewAccessible::cleanup()
{
    setAccessibilityActive(false);
}

void TestLogViewAccessible::textByRange_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("expected");

    const QString whole = kLines.join(u'\n');
    QTest::newRow("whole") << 0 << int(whole.size()) << whole;
    QTest::newRow("whole, to the end by -1") << 0 << -1 << whole;
    QTest::newRow("inside the first line") << 6 << 16 << "07.12.2026";
    QTest::newRow("across lines, Cyrillic") << offsetOf(kLines, 0, 37) << offsetOf(kLines, 1, 6)
                                            << QStringLiteral("FB\nОшибка");
    QTest::newRow("from a line end over an empty line") << offsetOf(kLines, 1, 27) << offsetOf(kLines, 3, 4)
                                                        << QStringLiteral("\n\nTime");
    QTest::newRow("just the line end") << offsetOf(kLines, 3, 7) << offsetOf(kLines, 4, 0) << "\n";
    QTest::newRow("a surrogate pair") << offsetOf(kLines, 5, 6) << offsetOf(kLines, 5, 8)
                                      << QStringLiteral("\U0001F600");
    QTest::newRow("empty range") << 10 << 10 << "";
    QTest::newRow("past the end") << offsetOf(kLines, 5, 11) << int(whole.size()) + 50 << "нец";
}

void TestLogViewAccessible::textByRange()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, expected);

    ShownPane shown;
    QAccessibleTextInterface* text = shown.text();
    QVERIFY(text);
    QCOMPARE(shown.accessible()->role(), QAccessible::Document);
    QCOMPARE(shown.accessible()->text(QAccessible::Description), QStringLiteral("Memo_log"));
    QCOMPARE(text->characterCount(), int(kLines.join(u'\n').size()));
    QCOMPARE(text->text(start, end), expected);
}

void TestLogViewAccessible::lineAtOffset_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("side"); // -1 before, 0 at, 1 after
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("expectedStart");

    const int second = offsetOf(kLines, 1, 0);
    const int fourth = offsetOf(kLines, 3, 0);
    const int last = offsetOf(kLines, 5, 0);
    const QString secondLine = kLines[1] + u'\n';
    QTest::newRow("at, line start") << second << 0 << secondLine << second;
    QTest::newRow("at, line middle") << second + 8 << 0 << secondLine << second;
    QTest::newRow("at, line end") << second + 27 << 0 << secondLine << second;
    QTest::newRow("at, empty line") << offsetOf(kLines, 2, 0) << 0 << "\n" << offsetOf(kLines, 2, 0);
    QTest::newRow("at, last line has no line end") << last + 3 << 0 << kLines[5] << last;
    QTest::newRow("at, end of the text") << -1 << 0 << kLines[5] << last;
    QTest::newRow("before, from a line middle") << fourth + 3 << -1 << "\n" << offsetOf(kLines, 2, 0);
    QTest::newRow("before, from a line start") << second << -1 << kLines[0] + u'\n' << 0;
    QTest::newRow("before the first line") << 5 << -1 << "" << -1;
    QTest::newRow("after, from a line end") << fourth + 7 << 1 << kLines[4] + u'\n' << offsetOf(kLines, 4, 0);
    QTest::newRow("after the last line") << last << 1 << "" << -1;
}

void TestLogViewAccessible::lineAtOffset()
{
    QFETCH(int, offset);
    QFETCH(int, side);
    QFETCH(QString, expected);
    QFETCH(int, expectedStart);

    ShownPane shown;
    QAccessibleTextInterface* text = shown.text();
    QVERIFY(text);
    int start = -2;
    int end = -2;
    const QString line = side < 0   ? text->textBeforeOffset(offset, QAccessible::LineBoundary, &start, &end)
                         : side > 0 ? text->textAfterOffset(offset, QAccessible::LineBoundary, &start, &end)
                                    : text->textAtOffset(offset, QAccessible::LineBoundary, &start, &end);
    QCOMPARE(line, expected);
    QCOMPARE(start, expectedStart);
    QCOMPARE(end, expectedStart < 0 ? -1 : expectedStart + int(expected.size()));
}

// Every offset, every kind of boundary, every side: the answer taken from a few lines of the
// store is Qt's answer for the whole text.
void TestLogViewAccessible::boundariesAsQtFindsThemInTheWholeText()
{
    // With lines of no word between words, which the answers must reach over.
    const QStringList lines = kLines + QStringList{"---- ----", "   ", "", "Конец. Всё."};
    ShownPane shown(lines);
    QAccessibleTextInterface* text = shown.text();
    QVERIFY(text);
    const WholeText whole(lines.join(u'\n'));
    const QAccessible::TextBoundaryType kinds[] = {QAccessible::CharBoundary,     QAccessible::WordBoundary,
                                                   QAccessible::SentenceBoundary, QAccessible::ParagraphBoundary,
                                                   QAccessible::LineBoundary,     QAccessible::NoBoundary};
    for (int offset = -1; offset <= whole.characterCount() + 1; ++offset) {
        for (const QAccessible::TextBoundaryType kind : kinds) {
            for (int side = -1; side <= 1; ++side) {
                int start = -2, end = -2, wantStart = -2, wantEnd = -2;
                QString got, want;
                if (side < 0) {
                    got = text->textBeforeOffset(offset, kind, &start, &end);
                    want = whole.textBeforeOffset(offset, kind, &wantStart, &wantEnd);
                } else if (side == 0) {
                    got = text->textAtOffset(offset, kind, &start, &end);
                    // Qt's rules never return from a word or sentence at the very end; there
                    // is none there.
                    const bool atEnd = offset == -1 || offset == whole.characterCount();
                    if (atEnd && (kind == QAccessible::WordBoundary || kind == QAccessible::SentenceBoundary))
                        wantStart = wantEnd = -1;
                    else
                        want = whole.textAtOffset(offset, kind, &wantStart, &wantEnd);
                } else {
                    got = text->textAfterOffset(offset, kind, &start, &end);
                    want = whole.textAfterOffset(offset, kind, &wantStart, &wantEnd);
                }
                if (got != want || start != wantStart || end != wantEnd) {
                    QFAIL(qPrintable(QStringLiteral("offset %1, boundary %2, side %3: \"%4\" [%5, %6), not \"%7\" [%8, %9)")
                                         .arg(offset).arg(int(kind)).arg(side).arg(got).arg(start).arg(end)
                                         .arg(want).arg(wantStart).arg(wantEnd)));
                }
            }
        }
    }
}

void TestLogViewAccessible::caretAndSelectionAreTheViewsOwn_data()
{
    QTest::addColumn<QString>("by"); // who selects: "view", "interface", "caret only", "removed"
    QTest::addColumn<LogPosition>("anchor");
    QTest::addColumn<LogPosition>("caret");
    QTest::addColumn<QString>("selected");

    const LogPosition inSecond{1, 7};
    const LogPosition inFourth{3, 4};
    QTest::newRow("view selects across lines") << "view" << inSecond << inFourth << QStringLiteral("при программировании\n\nTime");
    QTest::newRow("view selects upwards") << "view" << inFourth << inSecond << QStringLiteral("при программировании\n\nTime");
    QTest::newRow("interface selects") << "interface" << inSecond << inFourth << QStringLiteral("при программировании\n\nTime");
    QTest::newRow("interface selects upwards") << "interface" << inFourth << inSecond << QStringLiteral("при программировании\n\nTime");
    QTest::newRow("interface adds a selection") << "add" << LogPosition{5, 6} << LogPosition{5, 8} << QStringLiteral("\U0001F600");
    QTest::newRow("interface moves the caret") << "caret only" << inFourth << inFourth << QString();
    QTest::newRow("interface removes the selection") << "removed" << inSecond << inFourth << QString();
}

void TestLogViewAccessible::caretAndSelectionAreTheViewsOwn()
{
    QFETCH(QString, by);
    QFETCH(LogPosition, anchor);
    QFETCH(LogPosition, caret);
    QFETCH(QString, selected);

    ShownPane shown;
    QAccessibleTextInterface* text = shown.text();
    QVERIFY(text);
    ui::LogView* const view = shown.pane->view();
    const int anchorOffset = offsetOf(kLines, anchor.line, anchor.column);
    const int caretOffset = offsetOf(kLines, caret.line, caret.column);
    if (by == "view")
        view->setSelection(anchor, caret);
    else if (by == "interface")
        text->setSelection(0, anchorOffset, caretOffset);
    else if (by == "add")
        text->addSelection(anchorOffset, caretOffset);
    else if (by == "caret only")
        text->setCursorPosition(caretOffset);
    else if (by == "removed") {
        text->setSelection(0, anchorOffset, caretOffset);
        QCOMPARE(text->selectionCount(), 1);
        text->removeSelection(0);
    }

    QCOMPARE(view->selectedText(), selected);
    QCOMPARE(text->cursorPosition(), caretOffset);
    QCOMPARE(view->caret(), caret);
    QCOMPARE(text->selectionCount(), selected.isEmpty() ? 0 : 1);
    int start = -1;
    int end = -1;
    text->selection(0, &start, &end);
    if (selected.isEmpty()) {
        QCOMPARE(start, 0);
        QCOMPARE(end, 0);
    } else {
        QCOMPARE(start, std::min(anchorOffset, caretOffset));
        QCOMPARE(end, std::max(anchorOffset, caretOffset));
        QCOMPARE(text->text(start, end), selected);
    }
    // Each change was told: the caret where it now is, and the selection as it now is.
    QVERIFY(!heard.empty());
    const auto lastOf = [](QAccessible::Event type) {
        const auto found = std::find_if(heard.rbegin(), heard.rend(), [type](const Heard& h) { return h.type == type; });
        return found == heard.rend() ? nullptr : &*found;
    };
    const Heard* moved = lastOf(QAccessible::TextCaretMoved);
    QVERIFY(moved);
    QCOMPARE(moved->position, caretOffset);
    const Heard* selection = lastOf(QAccessible::TextSelectionChanged);
    QVERIFY(selection || selected.isEmpty());
    if (selection) {
        QCOMPARE(selection->selectionStart, selected.isEmpty() ? caretOffset : std::min(anchorOffset, caretOffset));
        QCOMPARE(selection->selectionEnd, selected.isEmpty() ? caretOffset : std::max(anchorOffset, caretOffset));
    }
}

// The rectangle of a character holds the point that names it, and a line scrolled to comes
// into view.
void TestLogViewAccessible::charactersAreWhereTheyAreDrawn()
{
    QStringList lines = kLines;
    for (int i = 0; i < 200; ++i)
        lines << QStringLiteral("строка %1").arg(i);
    ShownPane shown(lines);
    QAccessibleTextInterface* text = shown.text();
    QVERIFY(text);
    ui::LogView* const view = shown.pane->view();
    QVERIFY(shown.settled());
    view->verticalScrollBar()->setValue(0);
    const QRect viewport(view->viewport()->mapToGlobal(QPoint(0, 0)), view->viewport()->size());
    for (const int offset : {0, 7, offsetOf(lines, 1, 0), offsetOf(lines, 1, 5), offsetOf(lines, 3, 6)}) {
        const QRect rect = text->characterRect(offset);
        QVERIFY2(viewport.contains(rect.center()), qPrintable(QString::number(offset)));
        QVERIFY(rect.width() > 1);
        QCOMPARE(text->offsetAtPoint(rect.center()), offset);
    }
    QCOMPARE(text->offsetAtPoint(viewport.topLeft() - QPoint(5, 5)), -1);

    const int far = offsetOf(lines, 150, 3);
    QVERIFY(!viewport.contains(text->characterRect(far).center()));
    text->scrollToSubstring(far, far + 2);
    QVERIFY(viewport.contains(text->characterRect(far).center()));
    QCOMPARE(text->offsetAtPoint(text->characterRect(far).center()), far);
}

void TestLogViewAccessible::listenersFollowTheText_data()
{
    QTest::addColumn<QStringList>("steps"); // "+text" appends a line, "clear", "load" replaces with kLines
    QTest::newRow("into an empty pane") << QStringList{"+" + kLines[0]};
    QTest::newRow("after lines") << QStringList{"load", "+" + kLines[1], "+TimeOut"};
    QTest::newRow("an empty line, then text") << QStringList{"load", "+", "+конец"};
    QTest::newRow("a burst of lines at once") << QStringList{"burst"};
    QTest::newRow("cleared, then lines") << QStringList{"load", "clear", "+" + kLines[1]};
    QTest::newRow("replaced") << QStringList{"+старое", "load"};
    QTest::newRow("a long log cleared and replaced") << QStringList{"long", "clear", "long", "load"};
}

void TestLogViewAccessible::listenersFollowTheText()
{
    QFETCH(QStringList, steps);

    ShownPane shown(QStringList{});
    QAccessibleTextInterface* text = shown.text();
    QVERIFY(text);
    QString mirror; // the text as a listener that follows the events has it
    std::size_t replayed = 0;
    const auto replay = [&] {
        for (; replayed < heard.size(); ++replayed) {
            const Heard& event = heard[replayed];
            if (event.type == QAccessible::TextInserted) {
                QVERIFY(event.position >= 0 && event.position <= mirror.size());
                mirror.insert(event.position, event.text);
            } else if (event.type == QAccessible::TextRemoved) {
                QVERIFY(event.position >= 0 && event.position + event.text.size() <= mirror.size());
                mirror.remove(event.position, event.text.size());
            }
        }
    };
    for (const QString& step : steps) {
        if (step.startsWith(u'+')) {
            shown.pane->appendLine(step.mid(1));
        } else if (step == "clear") {
            shown.pane->clear();
        } else if (step == "load") {
            shown.pane->setLines(kLines);
        } else if (step == "burst") {
            for (int i = 0; i < 300; ++i)
                shown.pane->appendLine(kLines[i % kLines.size()]);
        } else if (step == "long") {
            // More text than one event carries.
            for (int i = 0; i < 3000; ++i)
                shown.pane->appendLine(kLines[i % kLines.size()] + QString::number(i));
        }
        const QString expected = shown.pane->toPlainText();
        QTRY_COMPARE_WITH_TIMEOUT((replay(), mirror), expected, 10000);
        QCOMPARE(text->text(0, text->characterCount()), expected);
    }
    QVERIFY(std::any_of(heard.begin(), heard.end(), [](const Heard& h) { return h.type == QAccessible::TextInserted; }));
    // A piece of text is told once: nothing more arrives once the view has taken in every line.
    QVERIFY(shown.settled());
    replay();
    QCOMPARE(mirror, shown.pane->toPlainText());
}

// Without a listener the pane computes and sends nothing; one that comes later is told only
// what changes from then on.
void TestLogViewAccessible::nothingIsSentWithoutAListener()
{
    // More lines than the view shows, so that its scroll range tells when it took them in.
    QStringList lines = kLines;
    for (int i = 0; i < 40; ++i)
        lines << QStringLiteral("строка %1").arg(i);
    setAccessibilityActive(false);
    ShownPane shown(lines);
    ui::LogView* const view = shown.pane->view();
    shown.pane->appendLine(QStringLiteral("ещё"));
    QVERIFY(shown.settled());
    view->setSelection({0, 0}, {1, 3});
    shown.pane->clear();
    shown.pane->setLines(lines);
    shown.pane->appendLine(QStringLiteral("ещё"));
    QVERIFY(shown.settled());
    QVERIFY(heard.empty());

    setAccessibilityActive(true);
    shown.pane->appendLine(QStringLiteral("Ошибка"));
    const int end = int(lines.join(u'\n').size()) + 4;
    QTRY_VERIFY_WITH_TIMEOUT(!heard.empty(), 10000);
    QCOMPARE(heard.front().type, QAccessible::TextInserted);
    QCOMPARE(heard.front().position, end);
    QCOMPARE(heard.front().text, QStringLiteral("\nОшибка"));
}

QTEST_MAIN(TestLogViewAccessible)
#include "test_logviewaccessible.moc"
