#pragma once
// A named log of the program: its lines and the view that shows them. The pane's name is
// the view's objectName and accessible description, as for every control, so tests and
// automation find it the way they find any control. The pane belongs to its view (it is
// the view's child); deleting either deletes both.

#include "logstore.h"
#include "logview.h"

#include <QFont>
#include <QObject>
#include <QStringList>

namespace ui {


class LogPane : public QObject {
    Q_OBJECT
public:
    // Creates the view as a child of parent; the caller places it like any control.
    LogPane(QWidget* parent, const char* name);
    ~LogPane() override;

    void appendLine(const QString& line);
    void clear();
    // Replaces the lines.
    void setLines(const QStringList& lines);
    // The same with lines already in a store, which is left empty: a loaded log file
    // comes in so, with no copy.
    void takeLines(LogStore& lines);

    qsizetype lineCount() const { return store_.lineCount(); }
    QStringList lines() const { return store_.lines(); }
    // The lines joined by "\n": what a plain text editor fed the same appends would hold.
    QString toPlainText() const;

    void setFont(const QFont& font);
    QFont font() const;

    LogView* view() const { return view_; }
    LogStore& store() { return store_; }
    const LogStore& store() const { return store_; }

    // The pane shown by a log view (or by its viewport); null for any other widget.
    static LogPane* of(const QWidget* widget);

private:
    LogStore store_;
    LogView* view_;
};

} // namespace ui
