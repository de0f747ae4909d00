#include "logviewaccessible.h"

#include "logstore.h"
#include "logview.h"

#include <QAccessibleWidget>

#include <algorithm>
#include <climits>

namespace ui {

namespace {

// Longest text one event carries. A log file loaded at once or a clear of a day's log is
// told in pieces of this size, so that no single message to the listeners grows with the log.
constexpr qsizetype kEventPiece = qsizetype(1) << 16;

// How many lines without a word a question about the words around an offset looks past.
constexpr qsizetype kWindowReach = 64;

bool hasWord(QStringView line)
{
    return std::any_of(line.begin(), line.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

int toInt(qsizetype offset)
{
    return int(std::clamp<qsizetype>(offset, INT_MIN, INT_MAX));
}

qsizetype offsetOf(const LogStore& store, LogPosition at)
{
    return store.utf16OffsetOfLine(at.line) + at.column;
}

// The position an offset names; the view clamps a column past the line's end.
LogPosition positionOf(const LogStore& store, qsizetype offset)
{
    const qsizetype line = store.lineAtUtf16Offset(offset);
    if (line < 0)
        return {};
    return {line, std::max<qsizetype>(0, offset - store.utf16OffsetOfLine(line))};
}

// A few lines of the log as a text of their own, for Qt's own rules of characters, words,
// sentences and lines: none of these runs across a line end, so the lines around an offset
// give the same answer as the whole log would, without producing the whole log.
class TextWindow : public QAccessibleTextInterface {
public:
    explicit TextWindow(QString text)
        : text_(std::move(text))
    {
    }

    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        return text_.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(text_.size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = -1;
        return {};
    }

private:
    QString text_;
};

class LogViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LogViewAccessible(QWidget* view)
        : QAccessibleWidget(view, QAccessible::Document)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    using QAccessibleWidget::text;

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // One selection at most: the view's own.
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0 || !view()->hasSelection())
            return;
        const LogPosition anchor = view()->anchor();
        const LogPosition caret = view()->caret();
        const auto [from, to] = std::minmax(anchor, caret);
        *startOffset = toInt(offsetOf(store(), from));
        *endOffset = toInt(offsetOf(store(), to));
    }

    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }

    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0 && view()->hasSelection())
            view()->setSelection(view()->caret(), view()->caret());
    }

    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex != 0)
            return;
        const LogPosition end = positionOf(store(), endOffset);
        view()->setSelection(positionOf(store(), startOffset), end);
        view()->scrollTo(end);
    }

    int cursorPosition() const override { return toInt(offsetOf(store(), view()->caret())); }

    void setCursorPosition(int position) override
    {
        const LogPosition at = positionOf(store(), position);
        view()->setSelection(at, at);
        view()->scrollTo(at);
    }

    int characterCount() const override { return toInt(store().utf16Size()); }

    QString text(int startOffset, int endOffset) const override
    {
        const LogStore& lines = store();
        const qsizetype count = lines.utf16Size();
        const qsizetype start = std::clamp<qsizetype>(startOffset, 0, count);
        const qsizetype end = endOffset < 0 ? count : std::clamp<qsizetype>(endOffset, start, count);
        QString out;
        if (start >= end)
            return out;
        out.reserve(end - start);
        qsizetype line = lines.lineAtUtf16Offset(start);
        qsizetype lineStart = lines.utf16OffsetOfLine(line);
        for (; line < lines.lineCount() && lineStart < end; ++line) {
            const QString text = lines.line(line);
            const qsizetype lineEnd = lineStart + text.size(); // where its "\n" is
            const qsizetype from = std::max(start, lineStart);
            const qsizetype to = std::min(end, lineEnd);
            if (to > from)
                out += QStringView(text).sliced(from - lineStart, to - from);
            if (line + 1 < lines.lineCount() && start <= lineEnd && lineEnd < end)
                out += u'\n';
            lineStart = lineEnd + 1;
        }
        return out;
    }

    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                             int* endOffset) const override
    {
        return textAround(Before, offset, boundaryType, startOffset, endOffset);
    }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override
    {
        return textAround(At, offset, boundaryType, startOffset, endOffset);
    }

    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                            int* endOffset) const override
    {
        return textAround(After, offset, boundaryType, startOffset, endOffset);
    }

    QRect characterRect(int offset) const override
    {
        const LogStore& lines = store();
        if (offset < 0 || offset > lines.utf16Size() || lines.isEmpty())
            return {};
        LogView* const logView = view();
        const LogPosition at = positionOf(lines, offset);
        const QRect caret = logView->caretRect(at);
        // The character reaches to the next caret position; a line's end is a blank cell.
        const int right = at.column < lines.line(at.line).size()
                              ? logView->caretRect({at.line, at.column + 1}).x()
                              : caret.x() + logView->fontMetrics().horizontalAdvance(u' ');
        const QRect rect(caret.x(), caret.y(), std::max(1, right - caret.x()), caret.height());
        return rect.translated(logView->viewport()->mapToGlobal(QPoint(0, 0)));
    }

    int offsetAtPoint(const QPoint& point) const override
    {
        LogView* const logView = view();
        const QPoint local = logView->viewport()->mapFromGlobal(point);
        if (store().isEmpty() || !logView->viewport()->rect().contains(local))
            return -1;
        LogPosition at = logView->positionAt(local);
        // The nearest caret position may be right of the character under the point.
        if (at.column > 0 && logView->caretRect(at).x() > local.x())
            --at.column;
        return toInt(offsetOf(store(), at));
    }

    void scrollToSubstring(int startIndex, int endIndex) override
    {
        view()->scrollTo(positionOf(store(), endIndex));
        view()->scrollTo(positionOf(store(), startIndex));
    }

    // Every character is drawn alike: one run without attributes.
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    enum Side { Before, At, After };

    LogView* view() const { return static_cast<LogView*>(widget()); }
    const LogStore& store() const { return *view()->store(); }

    QString textAround(Side side, int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                       int* endOffset) const
    {
        const LogStore& lines = store();
        const qsizetype count = lines.utf16Size();
        // By convention -1 is the end of the text and -2 the caret.
        qsizetype at = offset == -1 ? count : offset == -2 ? qsizetype(cursorPosition()) : qsizetype(offset);
        *startOffset = *endOffset = -1;
        if (at < 0 || at > count)
            return {};
        if (boundaryType == QAccessible::NoBoundary) {
            if (side != At)
                return {};
            *startOffset = 0;
            *endOffset = toInt(count);
            return text(0, *endOffset);
        }
        // Nothing starts at the very end of the text. (Qt's own rules never return from a
        // word or sentence asked for there.)
        if (side == At && at == count && boundaryType != QAccessible::LineBoundary
            && boundaryType != QAccessible::ParagraphBoundary)
            return {};
        // The line of the offset with its neighbours, each with its "\n", reaching over lines
        // without a word to the nearest line with one on either side.
        const qsizetype line = std::max<qsizetype>(0, lines.lineAtUtf16Offset(at));
        qsizetype first = std::max<qsizetype>(0, line - 1);
        while (first > 0 && line - first < kWindowReach && !hasWord(lines.line(first)))
            --first;
        qsizetype last = std::min(lines.lineCount() - 1, line + 1);
        while (last + 1 < lines.lineCount() && last - line < kWindowReach && !hasWord(lines.line(last)))
            ++last;
        const qsizetype windowStart = lines.utf16OffsetOfLine(first);
        const qsizetype windowEnd = last + 1 < lines.lineCount() ? lines.utf16OffsetOfLine(last + 1) : count;
        const TextWindow window(text(toInt(windowStart), toInt(windowEnd)));
        const int local = int(at - windowStart);
        QString found;
        switch (side) {
        case Before:
            found = window.textBeforeOffset(local, boundaryType, startOffset, endOffset);
            break;
        case At:
            found = window.textAtOffset(local, boundaryType, startOffset, endOffset);
            break;
        case After:
            found = window.textAfterOffset(local, boundaryType, startOffset, endOffset);
            break;
        }
        if (*startOffset >= 0)
            *startOffset = toInt(*startOffset + windowStart);
        if (*endOffset >= 0)
            *endOffset = toInt(*endOffset + windowStart);
        return found;
    }
};

QAccessibleInterface* logViewFactory(const QString& className, QObject* object)
{
    if (object && object->isWidgetType() && className == QLatin1String(LogView::staticMetaObject.className()))
        return new LogViewAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

void send(QAccessibleEvent& event)
{
    QAccessible::updateAccessibility(&event);
}

} // namespace

void installLogViewAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(logViewFactory);
        return true;
    }();
    (void)installed;
}

LogViewAnnouncer::LogViewAnnouncer(LogView* view)
    : view_(view)
{
}

void LogViewAnnouncer::linesAppended()
{
    const LogStore& store = *view_->store();
    const qsizetype count = store.lineCount();
    if (!QAccessible::isActive()) {
        lines_ = count;
        characters_ = -1;
        return;
    }
    if (count <= lines_)
        return;
    // The new lines follow the "\n" that now ends the last line told; the first line of an
    // empty log starts the text.
    qsizetype position = lines_ == 0 ? 0 : store.utf16OffsetOfLine(lines_) - 1;
    const int caret = toInt(offsetOf(store, view_->caret()));
    QString piece;
    const auto tell = [&] {
        QAccessibleTextInsertEvent event(view_, toInt(position), piece);
        event.setCursorPosition(caret);
        send(event);
        position += piece.size();
        piece.clear();
    };
    for (qsizetype line = lines_; line < count; ++line) {
        if (line > 0)
            piece += u'\n';
        piece += QString::fromUtf8(store.lineUtf8(line));
        if (piece.size() >= kEventPiece)
            tell();
    }
    if (!piece.isEmpty())
        tell();
    lines_ = count;
    characters_ = store.utf16Size();
}

void LogViewAnnouncer::linesReset()
{
    if (QAccessible::isActive() && characters_ > 0) {
        // The old text is gone from the store: its length is told right, its characters as
        // blanks, as Qt's own text editors do in the same case.
        const QString blanks(std::min(characters_, kEventPiece), u' ');
        for (qsizetype left = characters_; left > 0; left -= blanks.size()) {
            QAccessibleTextRemoveEvent event(view_, 0, left >= blanks.size() ? blanks : blanks.left(left));
            event.setCursorPosition(0);
            send(event);
        }
    }
    lines_ = 0;
    characters_ = 0;
}

void LogViewAnnouncer::selectionChanged(LogPosition oldAnchor, LogPosition oldCaret)
{
    if (!QAccessible::isActive())
        return;
    const LogStore& store = *view_->store();
    const LogPosition anchor = view_->anchor();
    const LogPosition caret = view_->caret();
    const int caretOffset = toInt(offsetOf(store, caret));
    if (caret != oldCaret) {
        QAccessibleTextCursorEvent event(view_, caretOffset);
        send(event);
    }
    if (oldAnchor != oldCaret || anchor != caret) {
        const auto [from, to] = std::minmax(anchor, caret);
        QAccessibleTextSelectionEvent event(view_, toInt(offsetOf(store, from)), toInt(offsetOf(store, to)));
        event.setCursorPosition(caretOffset);
        send(event);
    }
}

} // namespace ui
