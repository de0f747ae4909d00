#pragma once
// The raw console of the dispenser mode: the frame-text line, its send button and the
// console log, which every dispenser frame and reply is written to.

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

namespace ui {
class LogPane;
}

namespace dispenser {

class ConsolePanel : public QObject {
    Q_OBJECT
public:
    explicit ConsolePanel(QWidget* clientArea);

    // Where the console hands its frame text (the line's obrabZapstr).
    void setSender(std::function<void(const QString&)> send) { send_ = std::move(send); }

    void OtpravButtonClick();

    QFrame* const RabPanel;
    QLineEdit* const otpravedit;
    QPushButton* const OtpravButton;
    ui::LogPane* const dannieListBox1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool otpraveditKeyPress(class QKeyEvent* event);

    std::function<void(const QString&)> send_;
};

} // namespace dispenser
