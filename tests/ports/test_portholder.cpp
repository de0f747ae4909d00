// Who holds a port: a pseudo-terminal held by a child process, found through /proc or
// through a lock file in the forms serial programs write them.

#include "openfailure.h"
#include "portholder.h"
#include "ptypair.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace ports;
using qldixw::testing::PtyPair;

namespace {

// A process that runs until it is killed.
class Sleeper {
public:
    explicit Sleeper(const QString& standardInput = {})
    {
        if (!standardInput.isEmpty())
            process_.setStandardInputFile(standardInput);
        process_.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        process_.waitForStarted();
    }
    ~Sleeper()
    {
        process_.kill();
        process_.waitForFinished();
    }
    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }

private:
    QProcess process_;
};

pid_t endedProcess()
{
    QProcess process;
    process.start(QStringLiteral("true"), {});
    process.waitForStarted();
    const auto pid = static_cast<pid_t>(process.processId());
    process.waitForFinished();
    return pid;
}

QByteArray binaryPid(pid_t pid)
{
    const int value = pid;
    QByteArray bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

} // namespace

class TestPortHolder : public QObject {
    Q_OBJECT
private slots:
    void holders_data();
    void holders();
};

void TestPortHolder::holders_data()
{
    QTest::addColumn<bool>("opensThePort");
    QTest::addColumn<QString>("lockFile");  // "" none, "ascii", "binary", "stale", "garbage"
    QTest::addColumn<bool>("named");
    QTest::newRow("nobody") << false << "" << false;
    QTest::newRow("a process has it open") << true << "" << true;
    QTest::newRow("lock file, ten ASCII digits") << false << "ascii" << true;
    QTest::newRow("lock file, binary int") << false << "binary" << true;
    QTest::newRow("open and locked: named once") << true << "ascii" << true;
    QTest::newRow("stale lock file: its process is gone") << false << "stale" << false;
    QTest::newRow("lock file that names no process") << false << "garbage" << false;
}

void TestPortHolder::holders()
{
    QFETCH(bool, opensThePort);
    QFETCH(QString, lockFile);
    QFETCH(bool, named);
    PtyPair pty;
    const QString port = QString::fromStdString(pty.portPath());
    Sleeper holder(opensThePort ? port : QString());
    QVERIFY(holder.pid() > 0);

    QTemporaryDir locks;
    QVERIFY(locks.isValid());
    QByteArray content;
    if (lockFile == u"ascii")
        content = QByteArray::number(holder.pid()).rightJustified(10, ' ') + '\n';
    else if (lockFile == u"binary")
        content = binaryPid(holder.pid());
    else if (lockFile == u"stale")
        content = QByteArray::number(endedProcess()).rightJustified(10, ' ') + '\n';
    else if (lockFile == u"garbage")
        content = "locked by me\n";
    if (!content.isEmpty()) {
        // /dev/pts/3 is locked as "pts_3", the way the lock directory cannot hold a "/".
        QFile lock(QDir(locks.path()).filePath(QStringLiteral("LCK..") + port.mid(5).replace(u'/', u'_')));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        QCOMPARE(lock.write(content), content.size());
    }

    const QList<PortHolder> found = portHolders(port, HolderRoots{QStringLiteral("/proc"), {locks.path()}});
    const QList<PortHolder> expected = named ? QList<PortHolder>{{holder.pid(), QStringLiteral("sleep")}}
                                             : QList<PortHolder>{};
    QCOMPARE(found, expected);
    // The error box of a busy port names what /proc shows on this machine.
    const QString detail = openFailureDetail(EBUSY, port);
    QVERIFY2(detail.contains(QStringLiteral("занят другой программой")), qPrintable(detail));
    QCOMPARE(detail.contains(QStringLiteral("sleep (pid %1)").arg(holder.pid())), opensThePort);
}

QTEST_GUILESS_MAIN(TestPortHolder)
#include "test_portholder.moc"
