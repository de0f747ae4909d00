// The raw console against the device simulator as a separate process: what an
// operator sees typing frames by hand, with a well-behaved and with a faulty device.

#include "consoletestbench.h"
#include "frametext.h"
#include "simulatorprocess.h"
#include "virtualports.h"

#include <QDir>
#include <QTest>

using namespace qldixw::testing;

class TestSimulatorConsole : public QObject {
    Q_OBJECT
private slots:
    void replyLines_data();
    void replyLines();
    void handshakeBytesPassIntact_data();
    void handshakeBytesPassIntact();
};

void TestSimulatorConsole::replyLines_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected"); // the reply line without its time stamp; "" for any good reply
    QTest::newRow("status") << QStringList{} << "";
    QTest::newRow("silent device") << QStringList{QStringLiteral("--silent")} << "TimeOut";
    QTest::newRow("corrupted checksum") << QStringList{QStringLiteral("--bad-checksum")} << " CSM ERROR 8";
    QTest::newRow("reply split across the window") << QStringList{QStringLiteral("--split"), QStringLiteral("900")}
                                                   << " CSM ERROR 4";
}

void TestSimulatorConsole::replyLines()
{
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    ConsoleTestBench bench;
    SimulatorProcess sim(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                         QStringList{QStringLiteral("--family"), QStringLiteral("dix")} + options);
    QVERIFY(sim.started());
    QVERIFY(bench.openPort());

    bench.typeAndSend(QStringLiteral("60 01 81 *"));
    QVERIFY(bench.waitIdle());
    const QStringList lines = bench.consoleLines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(withoutTimeStamp(lines[0]), QStringLiteral("PC->  60 01 81 FB"));
    const QString reply = withoutTimeStamp(lines[1]);
    if (expected == u"TimeOut") {
        QCOMPARE(reply, expected);
    } else if (expected.isEmpty()) {
        // A status reply: eight bytes, the last their checksum.
        const QByteArray bytes = QByteArray::fromHex(reply.mid(QStringLiteral("PC<- ").size()).toLatin1());
        QCOMPARE(bytes.size(), 8);
        QCOMPARE(quint8(bytes.back()), transport::frameChecksum(bytes.left(7)));
    } else {
        QVERIFY2(reply.startsWith(QStringLiteral("PC<- ")) && reply.endsWith(expected), qPrintable(reply));
    }
}

void TestSimulatorConsole::handshakeBytesPassIntact_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("raw line") << QStringList{};
    QTest::newRow("line at the kernel's defaults") << QStringList{QStringLiteral("--tty-defaults")};
}

// 11 and 13 are BCD digits here, not XON and XOFF: a price of 11.13 goes out, comes back
// whole, and the requests after it leave the line at once.
void TestSimulatorConsole::handshakeBytesPassIntact()
{
    QFETCH(QStringList, options);
    ConsoleTestBench bench;
    SimulatorProcess sim(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                         QStringList{QStringLiteral("--family"), QStringLiteral("dix")} + options);
    QVERIFY(sim.started());
    QVERIFY(bench.openPort());
    const auto lastReply = [&] {
        const QString line = withoutTimeStamp(bench.consoleLines().value(bench.consoleLines().size() - 1));
        return line.startsWith(QStringLiteral("PC<- "))
            ? QByteArray::fromHex(line.mid(QStringLiteral("PC<- ").size()).toLatin1())
            : QByteArray();
    };

    bench.typeAndSend(QStringLiteral("60 01 51 * 01 00 00 11 13 00 00 *"));
    QVERIFY(bench.waitIdle());
    QCOMPARE(lastReply(), QByteArray(1, '\0'));

    bench.typeAndSend(QStringLiteral("60 01 59 *"));
    QVERIFY(bench.waitIdle());
    QByteArray price = QByteArray::fromHex("01590011130000");
    price.append(char(transport::frameChecksum(price)));
    QCOMPARE(lastReply(), price);

    for (int i = 0; i < 2; ++i) {
        bench.typeAndSend(QStringLiteral("60 01 81 *"));
        QVERIFY(bench.waitIdle());
        const QByteArray status = lastReply();
        QCOMPARE(status.size(), 8);
        QCOMPARE(quint8(status.back()), transport::frameChecksum(status.left(7)));
    }
}

QTEST_MAIN(TestSimulatorConsole)
#include "test_simulator_console.moc"
