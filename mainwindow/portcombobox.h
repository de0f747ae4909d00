#pragma once
// The port list: a combo box that says when its drop-down is about to open, so the
// names it offers can be read from the system at that moment.

#include <QComboBox>

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

signals:
    void popupAboutToShow();
};

} // namespace mainwindow
