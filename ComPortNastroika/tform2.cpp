#include "tform2.h"

namespace ComPortNastroika {

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("COM-порт настройка"));
    setFixedSize(172, 157);
    move(230, 69);
}

} // namespace ComPortNastroika
