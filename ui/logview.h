#pragma once
// A read-only view of a LogStore that draws only the lines in view. Appends are cheap:
// the scroll ranges and the repaint they call for are brought up to date together, once
// per 25 ms at most however fast lines arrive. Long lines stay on one line.

#include "charadvances.h"
#include "logviewaccessible.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <compare>
#include <memory>
#include <optional>
#include <unordered_map>

class QMenu;

namespace ui {

class LogLineShape;
class LogPane;
class LogStore;

// A caret position: a line and a UTF-16 column in it.
struct LogPosition {
    qsizetype line = 0;
    qsizetype column = 0;
    auto operator<=>(const LogPosition&) const = default;
};

class LogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogView(LogStore* store, QWidget* parent = nullptr);
    ~LogView() override;

    LogStore* store() const { return store_; }
    // The named log this view shows; null for a view made on its own.
    LogPane* pane() const { return pane_; }

    bool hasSelection() const { return anchor_ != caret_; }
    QString selectedText() const;
    void setSelection(LogPosition anchor, LogPosition caret);
    // The selection runs from the anchor to the caret; they are equal when nothing is selected.
    LogPosition anchor() const { return anchor_; }
    LogPosition caret() const { return caret_; }
    // Scrolls as little as needed to bring the position into view.
    void scrollTo(LogPosition at);

    // Where a position is drawn, in viewport coordinates (a caret one pixel wide), and
    // the position nearest to a viewport point.
    QRect caretRect(LogPosition at) const;
    LogPosition positionAt(QPointF viewportPoint) const;

    // The menu of a right click: "Копировать" and "Выделить всё". The caller owns it.
    QMenu* createContextMenu(QWidget* parent = nullptr);

public slots:
    void copy();
    void selectAll();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    friend class LogPane;

    void linesAppended();
    void linesReset();
    void scheduleRefresh();
    void refresh();
    void updateScrollRanges();
    void updateNewLines();
    void remeasure();
    CharAdvances& advances() const;
    void noteWidth(qsizetype line, qreal width);
    int fullLinesInView() const;
    LogLineShape& shapeOf(qsizetype line) const;
    LogPosition endOfLine(qsizetype line) const;
    void dragTo(QPointF viewportPoint);
    void moveSelection(LogPosition anchor, LogPosition caret);

    LogStore* store_;
    LogPane* pane_ = nullptr; // a child of this view, so valid as long as the view is

    int lineHeight_ = 1;
    // Width of the widest line measured so far: the longest line by characters, and
    // every line that was drawn, a long one with its estimated width until its far
    // pieces are laid out. Grows until the lines are reset or the font changes, except
    // that the widest line's own estimate is corrected.
    qreal widest_ = 0;
    qsizetype widestLine_ = -1;
    qsizetype measuredLongest_ = -1;
    qsizetype measuredLongestLength_ = -1;
    // Lines that were there at the last refresh: the ones after them are new and drawn
    // where they land.
    qsizetype shownLines_ = 0;
    mutable std::optional<CharAdvances> advances_;

    QBasicTimer refreshTimer_;
    QBasicTimer autoScrollTimer_;

    LogPosition anchor_;
    LogPosition caret_;
    bool selecting_ = false;
    QPointF dragPoint_;

    LogViewAnnouncer announcer_{this};

    // Shapes of the long lines in view: measuring one is worth keeping. A short line is
    // shaped afresh each time; its shape lives until the next line is shaped.
    mutable std::unordered_map<qsizetype, std::unique_ptr<LogLineShape>> longShapes_;
    mutable std::unique_ptr<LogLineShape> shortShape_;
};

} // namespace ui
