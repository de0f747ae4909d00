#pragma once
// The raw console of the dispenser mode: the frame-text line and the console log.

#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace transport {

class ConsolePanel : public QObject {
    Q_OBJECT
public:
    explicit ConsolePanel(QWidget* clientArea);

    QFrame* const RabPanel;
    QLineEdit* const otpravedit;
    QPlainTextEdit* const dannieListBox1;
};

} // namespace transport
