// An exception that escapes a handler ends only that command: its message shows in an
// error box and the program goes on.

#include "commerror.h"
#include "guardedapplication.h"
#include "modalcatcher.h"

#include <QPushButton>
#include <QTest>

using namespace qldixw::testing;

class TestErrorBoundary : public QObject {
    Q_OBJECT
private slots:
    void escapedExceptionShowsAndTheProgramGoesOn();
};

void TestErrorBoundary::escapedExceptionShowsAndTheProgramGoesOn()
{
    QPushButton button;
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] {
        if (++clicks == 1)
            commport::RaiseCommError(commport::kErrAlreadyOpen, -1);
    });
    button.show();
    ModalCatcher boxes;
    QTest::mouseClick(&button, Qt::LeftButton);
    QTRY_COMPARE(boxes.texts(), QStringList{QStringLiteral("Device already assigned (open) (Error: -1) ")});
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 2);
}

int main(int argc, char* argv[])
{
    mainwindow::GuardedApplication app(argc, argv);
    TestErrorBoundary test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_errorboundary.moc"
