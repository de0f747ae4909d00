#pragma once
// The memory-access mode's panel: one reply pane per memory area, the request log
// Memo1 and the exchange log Memo2.

#include "sharedstate.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <array>

namespace memory {

class MemoryPanel : public QObject {
    Q_OBJECT
public:
    explicit MemoryPanel(QWidget* clientArea);

    QFrame* const QLpanelGL;
    QPlainTextEdit* const dannielistBoxQLIR;
    QPlainTextEdit* const dannielistBoxQLEX;
    QPlainTextEdit* const dannielistBoxQLIM;
    QPlainTextEdit* const dannielistBoxQLIF;
    QPlainTextEdit* const Memo1;
    QPlainTextEdit* const Memo2;

    // The area panes in the order IR, ER, IM, IF.
    std::array<QPlainTextEdit*, transport::MemoryAreaCount> areaPanes() const;
};

} // namespace memory
