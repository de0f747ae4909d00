#pragma once
// What assistive technology is told about a log view: read-only, multi-line text whose
// lines can be selected, read through a text interface that takes what it is asked for
// from the store, and told of each change. Its name and description are the widget's
// own, set by the caller.
//
// Character offsets are UTF-16 offsets across the whole log with "\n" between lines and
// none after the last, as LogStore counts them.

#include <QtGlobal>

namespace ui {

class LogView;
struct LogPosition;

// Registers the accessibility factory for log views; safe to call more than once.
void installLogViewAccessibility();

// Tells assistive technology what changed in one view's text, caret and selection. Nothing
// is computed or sent while no assistive technology listens (QAccessible::isActive()).
class LogViewAnnouncer {
public:
    explicit LogViewAnnouncer(LogView* view);

    // Lines appended since the last call, called with the view's refresh so that a flood
    // of lines makes a few events a second.
    void linesAppended();
    // The lines were replaced or cleared; the store no longer holds the old ones.
    void linesReset();
    void selectionChanged(LogPosition oldAnchor, LogPosition oldCaret);

private:
    LogView* view_;
    // Lines and characters the listeners have been told of; characters -1 when that count
    // was not kept because nobody listened.
    qsizetype lines_ = 0;
    qsizetype characters_ = 0;
};

} // namespace ui
