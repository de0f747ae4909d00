#pragma once
// Error boxes are modal: while one is up, the test's own code does not run. The catcher
// watches for modal message boxes, records their text and closes them.

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace qldixw::testing {

class ModalCatcher : public QObject {
    Q_OBJECT
public:
    ModalCatcher();

    // Texts of the boxes closed so far (main text and informative text, joined).
    const QStringList& texts() const { return texts_; }

private:
    void look();

    QTimer poll_;
    QStringList texts_;
};

} // namespace qldixw::testing
