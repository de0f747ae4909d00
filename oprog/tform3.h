#pragma once
// The About window.

#include <QDialog>

namespace oprog {

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};

} // namespace oprog
