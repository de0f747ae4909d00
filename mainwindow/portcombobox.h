#pragma once
// The port list: a combo box that says when its drop-down is about to open, so the
// names it offers can be read from the system at that moment, and that asks for its
// tool tip (the device a name stands for) only when the tip is about to show, and that
// says when the operator leaves it.

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>

#include <functional>

namespace mainwindow {

class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        emit popupAboutToShow();
        QComboBox::showPopup();
    }

    // Finding the device means reading the system's port list: done when the operator
    // points at the box, not at every change of the name.
    void setToolTipSource(std::function<QString()> source) { toolTipSource_ = std::move(source); }

signals:
    void popupAboutToShow();
    // The operator leaves the box (to another control, the drop-down or another window),
    // before the box itself hears of it.
    void leaving();

protected:
    void focusOutEvent(QFocusEvent* event) override
    {
        emit leaving();
        QComboBox::focusOutEvent(event);
    }

    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip && toolTipSource_)
            setToolTip(toolTipSource_());
        return QComboBox::event(event);
    }

private:
    std::function<QString()> toolTipSource_;
};

} // namespace mainwindow
