#pragma once
// The line-settings window: speed, data bits, parity and stop bits of the port.

#include <QDialog>

namespace ComPortNastroika {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};

} // namespace ComPortNastroika
