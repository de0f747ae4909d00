#include "modalcatcher.h"

#include <QApplication>
#include <QMessageBox>

namespace qldixw::testing {

ModalCatcher::ModalCatcher()
{
    connect(&poll_, &QTimer::timeout, this, &ModalCatcher::look);
    poll_.start(10);
}

void ModalCatcher::look()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box)
        return;
    texts_ << box->text();
    box->done(QMessageBox::Ok);
}

} // namespace qldixw::testing
