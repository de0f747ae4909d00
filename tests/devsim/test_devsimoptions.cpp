#include "simoptions.h"

#include <QTest>

using namespace devsim;

class TestDevsimOptions : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void help();
};

void TestDevsimOptions::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("address"); // -1: none
    QTest::addColumn<QByteArray>("unsolicited");

    QTest::newRow("defaults") << QStringList{} << true << int(Family::Dix) << "COM9" << -1 << QByteArray();
    QTest::newRow("ql at 7F") << QStringList{"--family", "ql", "--address", "7F"} << true << int(Family::Ql) << "COM9" << 0x7F << QByteArray();
    QTest::newRow("erk refusing writes") << QStringList{"--family", "erk", "--refuse-writes"} << true << int(Family::Erk) << "COM9" << -1 << QByteArray();
    QTest::newRow("ql memory faults") << QStringList{"--family", "ql", "--bad-address", "IF:3000", "--er-guard"} << true << int(Family::Ql) << "COM9" << -1 << QByteArray();
    QTest::newRow("erk on COM12") << QStringList{"--family", "erk", "--port", "COM12"} << true << int(Family::Erk) << "COM12" << -1 << QByteArray();
    QTest::newRow("unsolicited with blanks") << QStringList{"--unsolicited", "aa 55 0D"} << true << int(Family::Dix) << "COM9" << -1 << QByteArray::fromHex("AA550D");
    QTest::newRow("conversation") << QStringList{"--family", "erk", "--conversation", "COM7,COM8", "--every", "100"}
                                  << true << int(Family::Erk) << "COM9" << -1 << QByteArray();
    QTest::newRow("all reply options") << QStringList{"--delay", "100", "--split", "50", "--silent", "--bad-checksum", "--flow", "2.5", "--verbose"}
                                       << true << int(Family::Dix) << "COM9" << -1 << QByteArray();

    const auto refused = [](const char* name, QStringList args) {
        QTest::newRow(name) << args << false << 0 << QString() << -1 << QByteArray();
    };
    refused("unknown family", {"--family", "pump"});
    refused("COM0", {"--port", "COM0"});
    refused("COM256", {"--port", "COM256"});
    refused("device path as port", {"--port", "/dev/ttyS0"});
    refused("port with a path", {"--port", "COM9/../x"});
    refused("address 00", {"--address", "00"});
    refused("address 80", {"--address", "80"});
    refused("address of three digits", {"--address", "011"});
    refused("address not hex", {"--address", "zz"});
    refused("negative delay", {"--delay", "-1"});
    refused("split not a number", {"--split", "soon"});
    refused("odd hex", {"--unsolicited", "A"});
    refused("non-hex bytes", {"--unsolicited", "GG"});
    refused("period zero", {"--unsolicited-every", "0"});
    refused("negative flow", {"--flow", "-1"});
    refused("unknown option", {"--baud", "9600"});
    refused("stray argument", {"COM9"});
    refused("memory address without area", {"--bad-address", "000030"});
    refused("memory address in no area", {"--bad-address", "XR:30"});
    refused("memory address of seven digits", {"--bad-address", "IR:0000030"});
    refused("conversation on one port", {"--conversation", "COM7"});
    refused("conversation on the same port twice", {"--conversation", "COM7,COM7"});
    refused("conversation on a path", {"--conversation", "COM7,/dev/ttyS0"});
    refused("conversation with a link", {"--conversation", "COM7,COM8", "--link", "/tmp/x"});
    refused("conversation every 0 ms", {"--conversation", "COM7,COM8", "--every", "0"});
}

void TestDevsimOptions::parse()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    const ParsedOptions parsed = parseOptions(QStringList{"qldixw-devsim"} + args);
    QCOMPARE(parsed.error.isEmpty(), ok);
    if (!ok)
        return;
    QFETCH(int, family);
    QFETCH(QString, port);
    QFETCH(int, address);
    QFETCH(QByteArray, unsolicited);
    QCOMPARE(int(parsed.options.family), family);
    QCOMPARE(parsed.options.port, port);
    QCOMPARE(parsed.options.address ? int(*parsed.options.address) : -1, address);
    QCOMPARE(parsed.options.unsolicited, unsolicited);
    QVERIFY(makeDevice(parsed.options) != nullptr);
}

void TestDevsimOptions::help()
{
    const ParsedOptions parsed = parseOptions({"qldixw-devsim", "--help"});
    QVERIFY(parsed.error.isEmpty());
    // What an operator needs to know when a request goes unanswered.
    QVERIFY(parsed.helpText.contains("bad checksum gets no reply"));
    QVERIFY(parsed.helpText.contains("--family"));
}

QTEST_GUILESS_MAIN(TestDevsimOptions)
#include "test_devsimoptions.moc"
