// Who holds a port, by its lock file in the forms serial programs write them. (A
// process with the port open is found through /proc: the port selection test opens a
// port another process holds.)

#include "portholder.h"
#include "ptypair.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>


using namespace ports;

class TestPortHolder : public QObject {
    Q_OBJECT
private slots:
    void lockFiles_data();
    void lockFiles();
};

void TestPortHolder::lockFiles_data()
{
    QTest::addColumn<QString>("content"); // "ascii", "binary", "stale" or the text itself
    QTest::addColumn<bool>("named");
    QTest::newRow("ten ASCII digits") << "ascii" << true;
    QTest::newRow("binary int") << "binary" << true;
    QTest::newRow("stale: its process is gone") << "stale" << false;
    QTest::newRow("names no process") << "locked by me\n" << false;
}

void TestPortHolder::lockFiles()
{
    QFETCH(QString, content);
    QFETCH(bool, named);
    qldixw::testing::PtyPair pty;
    const QString port = QString::fromStdString(pty.portPath());
    QProcess holder;
    holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(holder.waitForStarted());
    const auto pid = static_cast<pid_t>(holder.processId());
    QProcess ended;
    ended.start(QStringLiteral("true"), {});
    QVERIFY(ended.waitForStarted());
    const auto endedPid = static_cast<int>(ended.processId());
    QVERIFY(ended.waitForFinished());

    QByteArray bytes = content.toUtf8();
    if (content == u"ascii" || content == u"stale")
        bytes = QByteArray::number(content == u"ascii" ? pid : endedPid).rightJustified(10, ' ') + '\n';
    if (content == u"binary") {
        const int value = pid;
        bytes = QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
    }
    QTemporaryDir locks;
    // /dev/pts/3 is locked as "pts_3": a lock file's name cannot hold a "/".
    QFile lock(QDir(locks.path()).filePath(QStringLiteral("LCK..") + port.mid(5).replace(u'/', u'_')));
    QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(bytes) == bytes.size());
    lock.close();

    const QList<PortHolder> found = portHolders(port, HolderRoots{QStringLiteral("/proc"), {locks.path()}});
    const QList<PortHolder> expected = named ? QList<PortHolder>{{pid, QStringLiteral("sleep")}} : QList<PortHolder>{};
    QCOMPARE(found, expected);
    QCOMPARE(holdersText(found), named ? QStringLiteral("sleep (pid %1)").arg(pid) : QString());
    holder.kill();
    holder.waitForFinished();
}

QTEST_GUILESS_MAIN(TestPortHolder)
#include "test_portholder.moc"
