#pragma once
// The meter mode's panel, its log and its poll clock.

#include <QFrame>
#include <QPlainTextEdit>
#include <QTimer>

namespace meter {

class MeterPanel : public QObject {
    Q_OBJECT
public:
    explicit MeterPanel(QWidget* clientArea);

    QFrame* const ERK2Panel;
    QPlainTextEdit* const Memo_log;
    // The poll clock; closing the port stops it.
    QTimer* const Timer2;
};

} // namespace meter
