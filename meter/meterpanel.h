#pragma once
// The meter mode's panel and its log.

#include <QFrame>

namespace ui {
class LogPane;
}

namespace meter {

class MeterPanel : public QObject {
    Q_OBJECT
public:
    explicit MeterPanel(QWidget* clientArea);

    QFrame* const ERK2Panel;
    ui::LogPane* const Memo_log;
};

} // namespace meter
