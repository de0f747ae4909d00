#include "logpane.h"

#include "controlnames.h"

namespace transport {

QPlainTextEdit* makeLogPane(QWidget* parent, const char* name)
{
    auto* pane = makeControl<QPlainTextEdit>(parent, name);
    // Long frames stay on one line; the horizontal scroll bar shows the rest.
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pane->setUndoRedoEnabled(false);
    return pane;
}

} // namespace transport
