// The memory mode in the whole program against the simulated controller as its own
// process on a pseudo-terminal, with real reply windows: typing into the address
// fields, and emulation switched on and off.

#include "consoletestbench.h"
#include "simulatorprocess.h"
#include "virtualports.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace qldixw::testing;

namespace {

// Two windows per exchange; a chain of twelve exchanges takes twelve seconds.
constexpr int kChainTimeoutMs = 20000;

// The area requests among the frames logged in Memo2, without the preambles.
QStringList areaRequests(const QStringList& memo2)
{
    QStringList requests;
    for (const QString& line : memo2) {
        const QString frame = withoutTimeStamp(line);
        if (!frame.startsWith(QStringLiteral("PC->  ")))
            continue;
        const QString bytes = frame.mid(6);
        if (!bytes.startsWith(QStringLiteral("60")) && bytes != u"C0")
            requests << bytes;
    }
    return requests;
}

} // namespace

class TestMemoryDevsim : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void typingReadsAndWrites();
    void emulationOnAndOff();

private:
    template <class Control>
    Control* control(const char* name) { return bench_->control<Control>(QString::fromLatin1(name)); }
    // Types text into a field one character at a time, as a keyboard would.
    void type(QLineEdit* field, const QString& text);
    // Presses a key in a field and waits until every exchange it started has ended.
    void pressAndWait(QLineEdit* field, Qt::Key key);
    void clickAndWait(const char* button);
    // Reads a byte through an address field and returns its value field.
    QString read(const char* field, const char* value, const QString& address);

    std::unique_ptr<ConsoleTestBench> bench_;
    std::unique_ptr<SimulatorProcess> sim_;
};

void TestMemoryDevsim::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    // The simulator takes the place of the bench's own device as COM9, and refuses an
    // ER write the guard bit does not cover.
    sim_ = std::make_unique<SimulatorProcess>(QDir(ports::virtualPortsDirectory()).filePath(QStringLiteral("COM9")),
                                              QStringList{"--family", "ql", "--er-guard", "--bad-address", "IF:3001"});
    QVERIFY(sim_->started());
    QVERIFY(bench_->openPort());
    bench_->selectMode(ModeQL);
}

void TestMemoryDevsim::cleanup()
{
    bench_.reset();
    sim_.reset();
}

void TestMemoryDevsim::type(QLineEdit* field, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void TestMemoryDevsim::pressAndWait(QLineEdit* field, Qt::Key key)
{
    QTest::keyClick(field, key);
    QVERIFY(bench_->line().busy());
    QVERIFY(bench_->waitIdle(kChainTimeoutMs));
}

void TestMemoryDevsim::clickAndWait(const char* button)
{
    QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
    QVERIFY(bench_->line().busy());
    QVERIFY(bench_->waitIdle(kChainTimeoutMs));
}

QString TestMemoryDevsim::read(const char* field, const char* value, const QString& address)
{
    auto* edit = control<QLineEdit>(field);
    edit->clear();
    type(edit, address);
    pressAndWait(edit, Qt::Key_Return);
    return control<QLineEdit>(value)->text();
}

void TestMemoryDevsim::typingReadsAndWrites()
{
    // A read: the preamble and the request go out, the value comes back.
    auto* ir = control<QLineEdit>("adressIR");
    ir->clear();
    type(ir, QStringLiteral("24"));
    pressAndWait(ir, Qt::Key_Return);
    QCOMPARE(ir->text(), QStringLiteral("000024"));
    QCOMPARE(control<QLineEdit>("contIR")->text(), QStringLiteral("24"));
    QCOMPARE(bench_->lines("dannielistBoxQLIR"), QStringList{"000024 C8 24 00"});
    QCOMPARE(bench_->lines("Memo1"), QStringList{"600100*C0"});
    QStringList memo2;
    for (const QString& line : bench_->lines("Memo2"))
        memo2 << withoutTimeStamp(line);
    QCOMPARE(memo2, (QStringList{"PC->  60 01 00 F8", "PC->  C0", "<- C0", "PC->  C8 00 00 24 00", "<- C8 24 00"}));

    // A write typed with the Cyrillic letter on the F key, strays dropped, then its
    // read-back.
    auto* im = control<QLineEdit>("adressIM");
    im->clear();
    type(im, QStringLiteral("1*0G 5ф"));
    QCOMPARE(im->text(), QStringLiteral("10 5A"));
    pressAndWait(im, Qt::Key_Return);
    QCOMPARE(im->text(), QStringLiteral("000010 5A"));
    QCOMPARE(control<QLineEdit>("contIM")->text(), QStringLiteral("5A"));
    QCOMPARE(areaRequests(bench_->lines("Memo2")).mid(1), (QStringList{"C5 00 00 10 5A", "C4 00 00 10 00"}));

    // Page Down reads the next byte, which was never written.
    pressAndWait(im, Qt::Key_PageDown);
    QCOMPARE(im->text(), QStringLiteral("000011"));
    QCOMPARE(control<QLineEdit>("contIM")->text(), QStringLiteral("11"));
    QCOMPARE(bench_->lines("dannielistBoxQLIM").last(), QStringLiteral("000011 C4 11 00"));

    // A byte the controller fails on.
    QCOMPARE(read("adressIF", "contIF", QStringLiteral("3001")), QStringLiteral("er"));
    QCOMPARE(bench_->lines("dannielistBoxQLIF").last(), QStringLiteral("003001 CC 00 FF"));
    QCOMPARE(bench_->lines("Memo1"), QStringList{"600100*C0"});
}

void TestMemoryDevsim::emulationOnAndOff()
{
    // IR 000024 holds 24 and ER 010041 holds 41: bits 6, 3 and 7 are all 0.
    QCOMPARE(read("adressIR", "contIR", QStringLiteral("24")), QStringLiteral("24"));
    QCOMPARE(read("adressEX", "contEX", QStringLiteral("010041")), QStringLiteral("41"));

    qsizetype before = bench_->lines("Memo2").size();
    clickAndWait("VklEmul");
    QCOMPARE(areaRequests(bench_->lines("Memo2").mid(before)),
             (QStringList{"C8 00 00 24 00", "C9 00 00 24 64", "C8 00 00 24 00",
                          "CA 01 00 41 00",
                          "C8 00 00 24 00", "C9 00 00 24 6C", "C8 00 00 24 00",
                          "CB 01 00 41 C1", "CA 01 00 41 00",
                          "C8 00 00 24 00", "C9 00 00 24 64", "C8 00 00 24 00"}));
    QCOMPARE(bench_->lines("dannielistBoxQLEX").last(), QStringLiteral("010041 C1 CA C1 00"));
    // Emulation on, and the guard bit as it was.
    QCOMPARE(read("adressIR", "contIR", QStringLiteral("24")), QStringLiteral("64"));
    QCOMPARE(read("adressEX", "contEX", QStringLiteral("010041")), QStringLiteral("C1"));

    before = bench_->lines("Memo2").size();
    clickAndWait("viklEmul");
    QCOMPARE(areaRequests(bench_->lines("Memo2").mid(before)),
             (QStringList{"C8 00 00 24 00", "C9 00 00 24 24", "C8 00 00 24 00",
                          "CA 01 00 41 00",
                          "C8 00 00 24 00", "C9 00 00 24 2C", "C8 00 00 24 00",
                          "CB 01 00 41 41", "CA 01 00 41 00",
                          "C8 00 00 24 00", "C9 00 00 24 24", "C8 00 00 24 00"}));
    QCOMPARE(read("adressIR", "contIR", QStringLiteral("24")), QStringLiteral("24"));
    QCOMPARE(read("adressEX", "contEX", QStringLiteral("010041")), QStringLiteral("41"));

    // Every request was acknowledged and answered, none refused.
    const QStringList log = bench_->lines("Memo2");
    QCOMPARE(log.filter(QRegularExpression(QStringLiteral("^<- C0$"))).size(),
             log.filter(QRegularExpression(QStringLiteral("^PC-> .*\\)  C0$"))).size());
    QVERIFY(log.filter(QRegularExpression(QStringLiteral("^<- .. .. FF$"))).isEmpty());
    QVERIFY(!bench_->lines("Memo1").contains(QStringLiteral("TimeOut")));
}

QTEST_MAIN(TestMemoryDevsim)
#include "test_memorydevsim.moc"
