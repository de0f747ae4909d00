#include "logview.h"

#include "loglineshape.h"
#include "logstore.h"
#include "logviewaccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace ui {

namespace {

constexpr int kMargin = 4;
// Scroll ranges and repaints wait this long for more lines: a flood of appends costs a
// few refreshes a second, one line alone shows without a visible delay.
constexpr int kRefreshMs = 25;
constexpr int kAutoScrollMs = 50;
// Shapes of long lines kept between paints; a screen holds a few dozen lines.
constexpr qsizetype kLongShapesKept = 128;
constexpr qsizetype kLongLine = 256;

struct KeyScroll {
    QKeySequence::StandardKey key;
    Qt::Orientation bar;
    QAbstractSlider::SliderAction action;
};

constexpr KeyScroll kKeyScrolls[] = {
    {QKeySequence::MoveToStartOfDocument, Qt::Vertical, QAbstractSlider::SliderToMinimum},
    {QKeySequence::MoveToEndOfDocument, Qt::Vertical, QAbstractSlider::SliderToMaximum},
    {QKeySequence::MoveToPreviousPage, Qt::Vertical, QAbstractSlider::SliderPageStepSub},
    {QKeySequence::MoveToNextPage, Qt::Vertical, QAbstractSlider::SliderPageStepAdd},
    {QKeySequence::MoveToPreviousLine, Qt::Vertical, QAbstractSlider::SliderSingleStepSub},
    {QKeySequence::MoveToNextLine, Qt::Vertical, QAbstractSlider::SliderSingleStepAdd},
    {QKeySequence::MoveToStartOfLine, Qt::Horizontal, QAbstractSlider::SliderToMinimum},
    {QKeySequence::MoveToEndOfLine, Qt::Horizontal, QAbstractSlider::SliderToMaximum},
    {QKeySequence::MoveToPreviousChar, Qt::Horizontal, QAbstractSlider::SliderSingleStepSub},
    {QKeySequence::MoveToNextChar, Qt::Horizontal, QAbstractSlider::SliderSingleStepAdd},
};

const KeyScroll* keyScrollOf(QKeyEvent* event)
{
    for (const KeyScroll& scroll : kKeyScrolls) {
        if (event->matches(scroll.key))
            return &scroll;
    }
    return nullptr;
}

// Some fonts (the program's Tahoma among them) have a negative leading: lines spaced by
// it would overlap by a pixel.
int lineHeightOf(const QFontMetrics& metrics)
{
    return std::max({1, metrics.height(), metrics.lineSpacing()});
}

} // namespace

LogView::LogView(LogStore* store, QWidget* parent)
    : QAbstractScrollArea(parent)
    , store_(store)
{
    installLogViewAccessibility();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    lineHeight_ = lineHeightOf(fontMetrics());
    connect(store_, &LogStore::linesAppended, this, &LogView::linesAppended);
    connect(store_, &LogStore::linesReset, this, &LogView::linesReset);
    if (!store_->isEmpty())
        scheduleRefresh();
}

LogView::~LogView() = default;

void LogView::linesAppended()
{
    scheduleRefresh();
}

void LogView::linesReset()
{
    viewport()->update();
    // The cached shapes and the selection name lines that are gone.
    longShapes_.clear();
    shortShape_.reset();
    announcer_.linesReset();
    moveSelection({}, {});
    selecting_ = false;
    autoScrollTimer_.stop();
    widest_ = 0;
    widestLine_ = -1;
    measuredLongest_ = measuredLongestLength_ = -1;
    // At once, not with the next refresh: lines appended right after a clear must find
    // the view at its (empty) bottom, so that it follows them. A replaced log is read
    // from its start.
    refresh();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

void LogView::scheduleRefresh()
{
    if (!refreshTimer_.isActive())
        refreshTimer_.start(kRefreshMs, this);
}

void LogView::refresh()
{
    refreshTimer_.stop();
    remeasure();
    updateScrollRanges();
    updateNewLines();
    announcer_.linesAppended();
}

void LogView::updateNewLines()
{
    // Lines drawn before stay as they are (scrolling moves their pixels); only the rows of
    // the new lines are painted.
    const qsizetype count = store_->lineCount();
    const qsizetype top = verticalScrollBar()->value();
    const qsizetype firstNew = std::max(std::min(shownLines_, count), top);
    shownLines_ = count;
    const qsizetype y = kMargin + (firstNew - top) * lineHeight_;
    if (firstNew < count && y < viewport()->height())
        viewport()->update(0, int(y), viewport()->width(), viewport()->height() - int(y));
}

CharAdvances& LogView::advances() const
{
    if (!advances_)
        advances_.emplace(font(), viewport());
    return *advances_;
}

void LogView::remeasure()
{
    const qsizetype longest = store_->longestLine();
    if (longest == measuredLongest_ && store_->longestLineLength() == measuredLongestLength_)
        return;
    measuredLongest_ = longest;
    measuredLongestLength_ = store_->longestLineLength();
    // Laid out whole: a new longest line comes seldom (a flood's lines are as long as the
    // reply buffer), and the range then ends exactly where it ends, drawn or not.
    if (longest < 0)
        return;
    const qreal width = shapeOf(longest).width();
    if (width > widest_) {
        widest_ = width;
        widestLine_ = longest;
    }
}

void LogView::noteWidth(qsizetype line, qreal width)
{
    // The widest line's estimate comes down to its width once it is laid out to its end,
    // so that scrolled to the right the line ends at the right edge.
    if (width > widest_ || (line == widestLine_ && width != widest_)) {
        widest_ = width;
        widestLine_ = line;
        scheduleRefresh();
    }
}

int LogView::fullLinesInView() const
{
    return std::max(1, (viewport()->height() - kMargin) / lineHeight_);
}

void LogView::updateScrollRanges()
{
    QScrollBar* const vertical = verticalScrollBar();
    // Whoever was reading the newest line keeps reading the newest line; whoever
    // scrolled up stays where they are.
    const bool followTail = vertical->value() >= vertical->maximum();
    const int fullLines = fullLinesInView();
    const qsizetype lastTop = std::max<qsizetype>(0, store_->lineCount() - fullLines);
    vertical->setRange(0, int(std::min<qsizetype>(lastTop, INT_MAX)));
    vertical->setPageStep(fullLines);
    vertical->setSingleStep(1);
    if (followTail)
        vertical->setValue(vertical->maximum());

    QScrollBar* const horizontal = horizontalScrollBar();
    const qreal contentWidth = std::ceil(widest_) + 2 * kMargin;
    const int width = viewport()->width();
    horizontal->setRange(0, int(std::clamp<qreal>(contentWidth - width, 0, INT_MAX)));
    horizontal->setPageStep(width);
    horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
}

LogLineShape& LogView::shapeOf(qsizetype line) const
{
    if (const auto found = longShapes_.find(line); found != longShapes_.end())
        return *found->second;
    auto shape = std::make_unique<LogLineShape>(store_->line(line), font(), viewport());
    if (shape->length() <= kLongLine) {
        shortShape_ = std::move(shape);
        return *shortShape_;
    }
    if (longShapes_.size() >= kLongShapesKept)
        longShapes_.clear();
    auto& kept = longShapes_[line];
    kept = std::move(shape);
    return *kept;
}

LogPosition LogView::endOfLine(qsizetype line) const
{
    return {line, store_->line(line).size()};
}

void LogView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QRect area = event->rect();
    const qsizetype count = store_->lineCount();
    const qsizetype first = verticalScrollBar()->value();
    const qreal originX = kMargin - horizontalScrollBar()->value();
    const auto [from, to] = std::minmax(anchor_, caret_);
    const int newlineWidth = fontMetrics().horizontalAdvance(u' ');

    for (qsizetype line = first; line < count; ++line) {
        const int top = kMargin + int(line - first) * lineHeight_;
        if (top > area.bottom())
            break;
        // The region after a scroll is two strips, the margin on top and the rows at the
        // bottom; the lines between them are on the screen already.
        if (!event->region().intersects(QRect(area.left(), top, area.width(), lineHeight_)))
            continue;
        LogLineShape& shape = shapeOf(line);
        const bool selected = hasSelection() && line >= from.line && line <= to.line;
        const qsizetype selectedFrom = !selected ? 0 : line == from.line ? from.column : 0;
        const qsizetype selectedTo = !selected ? 0 : line == to.line ? to.column : shape.length();
        shape.draw(painter, QPointF(originX, top), area.left(), area.right() + 1, selectedFrom, selectedTo,
                   palette());
        // The line end is part of the selection: show it as a blank cell.
        if (selected && line < to.line)
            painter.fillRect(QRectF(originX + shape.width(), top, newlineWidth, lineHeight_), palette().highlight());
        noteWidth(line, shape.estimatedWidth(advances()));
    }
}

void LogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
}

void LogView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        lineHeight_ = lineHeightOf(fontMetrics());
        longShapes_.clear();
        shortShape_.reset();
        advances_.reset();
        viewport()->update();
        widest_ = 0;
        widestLine_ = -1;
        measuredLongest_ = measuredLongestLength_ = -1;
        refresh();
    }
}

void LogView::scrollContentsBy(int dx, int dy)
{
    // The pixels already drawn move; only the strip scrolled into view is painted. A
    // flood followed at the tail so draws each new line once, not the whole view.
    QWidget* const port = viewport();
    const qint64 down = qint64(dy) * lineHeight_;
    if (std::abs(down) >= port->height() || std::abs(dx) >= port->width()) {
        port->update();
        return;
    }
    port->scroll(dx, int(down));
    // No line is drawn in the margin above the first one: a line moved into it must go.
    if (dy != 0)
        port->update(0, 0, port->width(), kMargin);
}

QString LogView::selectedText() const
{
    if (!hasSelection())
        return {};
    const auto [from, to] = std::minmax(anchor_, caret_);
    QString out;
    for (qsizetype line = from.line; line <= to.line && line < store_->lineCount(); ++line) {
        const QString text = store_->line(line);
        const qsizetype start = std::min(line == from.line ? from.column : 0, text.size());
        const qsizetype end = std::clamp(line == to.line ? to.column : text.size(), start, text.size());
        out += QStringView(text).sliced(start, end - start);
        if (line < to.line)
            out += u'\n';
    }
    return out;
}

void LogView::setSelection(LogPosition anchor, LogPosition caret)
{
    const auto clamped = [this](LogPosition at) -> LogPosition {
        if (store_->isEmpty())
            return {};
        if (at.line < 0)
            return {};
        if (at.line >= store_->lineCount())
            return endOfLine(store_->lineCount() - 1);
        return {at.line, std::clamp<qsizetype>(at.column, 0, endOfLine(at.line).column)};
    };
    moveSelection(clamped(anchor), clamped(caret));
}

void LogView::moveSelection(LogPosition anchor, LogPosition caret)
{
    if (anchor == anchor_ && caret == caret_)
        return;
    const LogPosition oldAnchor = anchor_;
    const LogPosition oldCaret = caret_;
    anchor_ = anchor;
    caret_ = caret;
    viewport()->update();
    announcer_.selectionChanged(oldAnchor, oldCaret);
}

void LogView::scrollTo(LogPosition at)
{
    if (at.line < 0 || at.line >= store_->lineCount())
        return;
    // The line may be wider than any measured yet: the horizontal range must reach it.
    noteWidth(at.line, shapeOf(at.line).width());
    if (refreshTimer_.isActive())
        refresh();
    QScrollBar* const vertical = verticalScrollBar();
    const int line = int(std::min<qsizetype>(at.line, INT_MAX));
    if (line < vertical->value())
        vertical->setValue(line);
    else if (line >= vertical->value() + fullLinesInView())
        vertical->setValue(line - fullLinesInView() + 1);
    QScrollBar* const horizontal = horizontalScrollBar();
    const int x = qRound(shapeOf(at.line).xOf(at.column));
    const int width = viewport()->width() - 2 * kMargin;
    if (x < horizontal->value())
        horizontal->setValue(x);
    else if (x >= horizontal->value() + width)
        horizontal->setValue(x - width + 1);
}

void LogView::selectAll()
{
    if (store_->isEmpty())
        return;
    setSelection({0, 0}, endOfLine(store_->lineCount() - 1));
}

void LogView::copy()
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

QRect LogView::caretRect(LogPosition at) const
{
    const qsizetype first = verticalScrollBar()->value();
    const int top = kMargin + int(at.line - first) * lineHeight_;
    qreal x = 0;
    if (at.line >= 0 && at.line < store_->lineCount())
        x = shapeOf(at.line).xOf(at.column);
    const int left = qRound(kMargin - horizontalScrollBar()->value() + x);
    return QRect(left, top, 1, lineHeight_);
}

LogPosition LogView::positionAt(QPointF viewportPoint) const
{
    const qsizetype count = store_->lineCount();
    if (count == 0)
        return {};
    const qsizetype row = qsizetype(std::floor((viewportPoint.y() - kMargin) / lineHeight_));
    const qsizetype line = verticalScrollBar()->value() + row;
    if (line < 0)
        return {};
    if (line >= count)
        return endOfLine(count - 1);
    const qreal x = viewportPoint.x() - kMargin + horizontalScrollBar()->value();
    return {line, shapeOf(line).columnAt(x)};
}

void LogView::dragTo(QPointF viewportPoint)
{
    moveSelection(anchor_, positionAt(viewportPoint));
}

void LogView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const LogPosition at = positionAt(event->position());
    selecting_ = true;
    dragPoint_ = event->position();
    moveSelection(event->modifiers() & Qt::ShiftModifier ? anchor_ : at, at);
}

void LogView::mouseMoveEvent(QMouseEvent* event)
{
    if (!selecting_ || !(event->buttons() & Qt::LeftButton))
        return;
    dragPoint_ = event->position();
    dragTo(dragPoint_);
    // Outside the lines the selection goes on by scrolling, as long as the button is held.
    if (viewport()->rect().contains(dragPoint_.toPoint()))
        autoScrollTimer_.stop();
    else if (!autoScrollTimer_.isActive())
        autoScrollTimer_.start(kAutoScrollMs, this);
}

void LogView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !selecting_)
        return;
    selecting_ = false;
    autoScrollTimer_.stop();
    QClipboard* const clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void LogView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || store_->isEmpty())
        return;
    const LogPosition at = positionAt(event->position());
    const auto [start, end] = shapeOf(at.line).wordAt(at.column);
    selecting_ = false;
    moveSelection({at.line, start}, {at.line, end});
}

void LogView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == refreshTimer_.timerId()) {
        refresh();
    } else if (event->timerId() == autoScrollTimer_.timerId()) {
        const QRect inside = viewport()->rect();
        if (dragPoint_.y() < inside.top())
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (dragPoint_.y() > inside.bottom())
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        if (dragPoint_.x() < inside.left())
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (dragPoint_.x() > inside.right())
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        dragTo(dragPoint_);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

bool LogView::event(QEvent* event)
{
    // Copy and select-all belong to the view while it has focus, not to a window shortcut.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll) || keyScrollOf(key)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void LogView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (const KeyScroll* scroll = keyScrollOf(event)) {
        QScrollBar* bar = scroll->bar == Qt::Vertical ? verticalScrollBar() : horizontalScrollBar();
        bar->triggerAction(scroll->action);
    } else {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

QMenu* LogView::createContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QAction* copyAction = menu->addAction(QStringLiteral("Копировать"), this, &LogView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    QAction* selectAllAction = menu->addAction(QStringLiteral("Выделить всё"), this, &LogView::selectAll);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setEnabled(!store_->isEmpty());
    return menu;
}

void LogView::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu(createContextMenu(this));
    menu->exec(event->globalPos());
}

} // namespace ui
