#pragma once
// The meter mode's panel and its log.

#include <QFrame>
#include <QPlainTextEdit>

namespace meter {

class MeterPanel : public QObject {
    Q_OBJECT
public:
    explicit MeterPanel(QWidget* clientArea);

    QFrame* const ERK2Panel;
    QPlainTextEdit* const Memo_log;
};

} // namespace meter
