// An exception that escapes a handler ends only that command: its message shows in an
// error box and the program goes on. (The handler here is a timer's: unwinding through
// the delivery of an input event can leave that event's own data behind, which is why
// the handlers that expect failures catch them themselves.)

#include "commerror.h"
#include "guardedapplication.h"
#include "modalcatcher.h"

#include <QTest>
#include <QTimer>

using namespace qldixw::testing;

class TestErrorBoundary : public QObject {
    Q_OBJECT
private slots:
    void escapedExceptionShowsAndTheProgramGoesOn();
};

void TestErrorBoundary::escapedExceptionShowsAndTheProgramGoesOn()
{
    QTimer command;
    int runs = 0;
    QObject::connect(&command, &QTimer::timeout, [&runs] {
        if (++runs == 1)
            commport::RaiseCommError(commport::kErrAlreadyOpen, -1);
    });
    ModalCatcher boxes;
    command.start(20);
    QTRY_COMPARE(boxes.texts(), QStringList{QStringLiteral("Device already assigned (open) (Error: -1) ")});
    // The event loop goes on delivering.
    QTRY_VERIFY(runs >= 3);
    QCOMPARE(boxes.texts().size(), 1);
}

int main(int argc, char* argv[])
{
    mainwindow::GuardedApplication app(argc, argv);
    TestErrorBoundary test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_errorboundary.moc"
