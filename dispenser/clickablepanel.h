#pragma once
// A pop-up panel that reports clicks on its own background, not on its controls.

#include <QFrame>

namespace dispenser {

class ClickablePanel : public QFrame {
    Q_OBJECT
public:
    explicit ClickablePanel(QWidget* parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressedOnBackground_ = false;
};

} // namespace dispenser
