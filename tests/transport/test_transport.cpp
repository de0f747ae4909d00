// The transport end to end: the program on the offscreen screen, a pseudo-terminal as
// the cable, the test as the device.

#include "consolekeyfilter.h"
#include "meterfamily.h"
#include "consoletestbench.h"
#include "frametext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace qldixw::testing;

namespace {

std::string bytes(const char* hex)
{
    return QByteArray::fromHex(hex).toStdString();
}

QStringList withoutTimeStamps(const QStringList& lines)
{
    QStringList out;
    for (const QString& line : lines)
        out << withoutTimeStamp(line);
    return out;
}

} // namespace

class TestTransport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void handTypedStatusFrameAndItsReply();
    void noReplyGivesOneTimeOutAndFreesTheLine();
    void badChecksum_data();
    void badChecksum();
    void secondRequestWhileBusyIsRefused();
    void replyWindowLengths();
    void replySplitAcrossTheWindow();
    void memoryModeLogsToItsPanes();
    void meterModeFramesAndLogsItsOwnWay();
    void closedPortSendsNothingAndSaysSo();
    void countRecordedBeforeCloseIsATimeOut();
    void oversizedFrameIsRefusedWhole();
    void emptyTextOpensAWindow();
    void restAfterLastStarIsSentWithoutChecksum();
    void longPastedTextIsSentWhole();
    void outputTheLineCannotTakeIsReported();
    void consoleKeyFilter_data();
    void consoleKeyFilter();
    void cyrillicKeysTypeHexLetters();

private:
    std::unique_ptr<ConsoleTestBench> bench_;
};

void TestTransport::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    QVERIFY(bench_->openPort());
}

void TestTransport::cleanup()
{
    bench_.reset();
}

void TestTransport::handTypedStatusFrameAndItsReply()
{
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QCOMPARE(bench_->device().receive(4), bytes("600181FB"));
    QVERIFY(bench_->device().send(bytes("01810012345607C8")));
    QVERIFY(bench_->waitIdle());

    const QStringList expected = {QStringLiteral("PC->  60 01 81 FB"), QStringLiteral("PC<-  01 81 00 12 34 56 07 C8")};
    QCOMPARE(withoutTimeStamps(bench_->consoleLines()), expected);
    QCOMPARE(withoutTimeStamps(bench_->lines("Memo2")),
             QStringList{expected.front()});
    // The time stamp sits in the brackets, with a blank before the first byte.
    QVERIFY(bench_->consoleLines().front().startsWith(QStringLiteral("PC-> (")));
    QVERIFY(bench_->consoleLines().front().endsWith(QStringLiteral(")  60 01 81 FB")));
    QCOMPARE(bench_->control<QLineEdit>("otpravedit")->text(), QStringLiteral("60 01 81 *"));
}

void TestTransport::noReplyGivesOneTimeOutAndFreesTheLine()
{
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QVERIFY(bench_->line().busy());
    QVERIFY(bench_->waitIdle());
    QCOMPARE(bench_->consoleLines().mid(1), QStringList{QStringLiteral("TimeOut")});

    // The next request goes out at once.
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QCOMPARE(bench_->device().receive(8), bytes("600181FB600181FB"));
}

void TestTransport::badChecksum_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("dispenser") << int(ModeDIX);
    QTest::newRow("meter") << int(ModeERK2);
}

void TestTransport::badChecksum()
{
    QFETCH(int, mode);
    bench_->selectMode(Mode(mode));
    bench_->line().obrabZapstr(QStringLiteral("60 01 81 *"));
    QCOMPARE(bench_->device().receive(4), bytes("600181FB"));
    QVERIFY(bench_->device().send(bytes("60018100")));
    QVERIFY(bench_->waitIdle());
    if (mode == ModeDIX)
        QCOMPARE(withoutTimeStamp(bench_->consoleLines().last()), QStringLiteral("PC<-  60 01 81 00 CSM ERROR 4"));
    else
        QCOMPARE(bench_->lines("Memo_log"), QStringList{QStringLiteral(" CSM ERROR 4")});
}

void TestTransport::secondRequestWhileBusyIsRefused()
{
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QTest::keyClick(bench_->control<QLineEdit>("otpravedit"), Qt::Key_Return);
    bench_->line().sendComposedRequest(QStringLiteral("60 01 71 *"));
    QVERIFY(bench_->waitIdle());
    QCOMPARE(bench_->device().receiveAvailable(), bytes("600181FB"));
    QCOMPARE(bench_->consoleLines().size(), 2); // the one frame and its time-out
    // A refused composed request does not even show its text.
    QCOMPARE(bench_->control<QLineEdit>("otpravedit")->text(), QStringLiteral("60 01 81 *"));
}

void TestTransport::replyWindowLengths()
{
    transport::Transport& line = bench_->line();
    QCOMPARE(line.replyWindow(), 600);

    QElapsedTimer clock;
    clock.start();
    bench_->line().obrabZapstr(QStringLiteral("60 01 81 *"));
    QVERIFY(bench_->waitIdle());
    // The first window is the long one: well over the later 500 ms.
    QVERIFY2(clock.elapsed() >= 590, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(line.replyWindow(), 500);

    // "Протеус" slows the window from the next run of the reply handler on.
    bench_->control<QCheckBox>("proteus_check")->setChecked(true);
    bench_->line().obrabZapstr(QStringLiteral("60 01 81 *"));
    QCOMPARE(line.replyWindow(), 500);
    QVERIFY(bench_->waitIdle());
    QCOMPARE(line.replyWindow(), 2000);
    bench_->control<QCheckBox>("proteus_check")->setChecked(false);
}

void TestTransport::replySplitAcrossTheWindow()
{
    bench_->line().obrabZapstr(QStringLiteral("60 01 81 *"));
    QCOMPARE(bench_->device().receive(4), bytes("600181FB"));
    QVERIFY(bench_->device().send(bytes("01810012")));
    QVERIFY(bench_->waitIdle());
    QCOMPARE(withoutTimeStamp(bench_->consoleLines().last()), QStringLiteral("PC<-  01 81 00 12 CSM ERROR 4"));

    // The rest arrives late and is read with the reply to the next request.
    QVERIFY(bench_->device().send(bytes("345607C8")));
    QTRY_COMPARE_WITH_TIMEOUT(bench_->line().receivedByteCount(), 4, 10000);
    bench_->line().obrabZapstr(QStringLiteral("60 01 81 *"));
    QCOMPARE(bench_->device().receive(4), bytes("600181FB"));
    QVERIFY(bench_->device().send(bytes("01810012345607C8")));
    QVERIFY(bench_->waitIdle());
    QCOMPARE(withoutTimeStamp(bench_->consoleLines().last()),
             QStringLiteral("PC<-  34 56 07 C8 01 81 00 12 34 56 07 C8 CSM ERROR 12"));
}

void TestTransport::memoryModeLogsToItsPanes()
{
    bench_->selectMode(ModeQL);
    bench_->line().obrabZapstr(QStringLiteral("6001" "00*C0"));
    QCOMPARE(bench_->device().receive(5), bytes("600100F8C0"));
    QVERIFY(bench_->device().send(bytes("C0")));
    QVERIFY(bench_->waitIdle());

    bench_->line().obrabZapstr(QStringLiteral("C800002400"));
    QCOMPARE(bench_->device().receive(5), bytes("C800002400"));
    QVERIFY(bench_->waitIdle());

    QCOMPARE(withoutTimeStamps(bench_->lines("Memo2")),
             (QStringList{QStringLiteral("PC->  60 01 00 F8"), QStringLiteral("PC->  C0"), QStringLiteral("<- C0"),
                          QStringLiteral("PC->  C8 00 00 24 00"), QStringLiteral("<-")}));
    QCOMPARE(bench_->lines("Memo1"), QStringList{QStringLiteral("TimeOut")});
    QVERIFY(bench_->consoleLines().isEmpty());
}

void TestTransport::meterModeFramesAndLogsItsOwnWay()
{
    auto& w = bench_->window();
    bench_->selectMode(ModeERK2);
    auto* meterFamily = w.findChild<meter::MeterFamily*>();
    meterFamily->readQuantity(QStringLiteral("35"));
    QCOMPARE(bench_->device().receive(4), bytes("60013592"));
    QVERIFY(bench_->waitIdle());
    bench_->control<QComboBox>("kontroller")->setEditText(QStringLiteral("22"));
    meterFamily->readQuantity(QStringLiteral("45"));
    QCOMPARE(bench_->device().receive(4), bytes("60F045B5"));
    QVERIFY(bench_->waitIdle());

    QCOMPARE(bench_->lines("Memo_log"),
             (QStringList{QStringLiteral("60 0135*"), QStringLiteral("TimeOut"), QStringLiteral("60 F0 45*"),
                          QStringLiteral("TimeOut")}));
    QCOMPARE(withoutTimeStamps(bench_->lines("Memo2")),
             (QStringList{QStringLiteral("PC->  60 01 35 92"), QStringLiteral("PC->  60 F0 45 B5")}));
    QVERIFY(bench_->consoleLines().isEmpty());
}

void TestTransport::closedPortSendsNothingAndSaysSo()
{
    QTest::mouseClick(bench_->control<QPushButton>("ClosePort"), Qt::LeftButton);
    bench_->typeAndSend(QStringLiteral("60 01 81 *"));
    QTest::mouseClick(bench_->control<QPushButton>("StatusButton"), Qt::LeftButton);
    QVERIFY(!bench_->line().busy());
    QCOMPARE(bench_->consoleLines(), QStringList(2, QStringLiteral("Порт закрыт: кадр не отправлен")));
    // A composed request still shows its text.
    QCOMPARE(bench_->control<QLineEdit>("otpravedit")->text(), QStringLiteral("60 01 81 *"));
    QTest::qWait(50);
    QCOMPARE(bench_->device().receiveAvailable(), std::string());
}

void TestTransport::countRecordedBeforeCloseIsATimeOut()
{
    bench_->line().obrabZapstr(QStringLiteral("60 01 81 *"));
    QCOMPARE(bench_->device().receive(4), bytes("600181FB"));
    QVERIFY(bench_->device().send(bytes("01810012345607C8")));
    QTRY_COMPARE(bench_->line().receivedByteCount(), 8);
    QTest::mouseClick(bench_->control<QPushButton>("ClosePort"), Qt::LeftButton);
    QVERIFY(bench_->waitIdle());
    QCOMPARE(bench_->consoleLines().last(), QStringLiteral("TimeOut"));
    QCOMPARE(bench_->line().receivedByteCount(), 0);
}

void TestTransport::oversizedFrameIsRefusedWhole()
{
    const QString tooLong = QStringLiteral("60 01 81 * ") + QStringLiteral("00").repeated(1024) + u'*';
    bench_->line().obrabZapstr(tooLong);
    QVERIFY(!bench_->line().busy());
    QTest::qWait(50);
    QCOMPARE(bench_->device().receiveAvailable(), std::string());
    QCOMPARE(bench_->consoleLines().size(), 1);
    QVERIFY(!bench_->consoleLines().front().startsWith(QStringLiteral("PC->")));
}

void TestTransport::emptyTextOpensAWindow()
{
    bench_->typeAndSend(QString());
    QVERIFY(bench_->line().busy());
    QVERIFY(bench_->waitIdle());
    QCOMPARE(bench_->consoleLines(), QStringList{QStringLiteral("TimeOut")});
}

void TestTransport::restAfterLastStarIsSentWithoutChecksum()
{
    // Blanks after the last "*" are no frame at all.
    bench_->line().obrabZapstr(QStringLiteral("60 01 00 * 30"));
    QCOMPARE(bench_->device().receive(5), bytes("600100F830"));
    QVERIFY(bench_->waitIdle());
    bench_->line().obrabZapstr(QStringLiteral("60 01 81 **   "));
    QVERIFY(bench_->waitIdle());
    QCOMPARE(bench_->device().receiveAvailable(), bytes("600181FB"));
    QCOMPARE(withoutTimeStamps(bench_->consoleLines()),
             (QStringList{QStringLiteral("PC->  60 01 00 F8"), QStringLiteral("PC->  30"), QStringLiteral("TimeOut"),
                          QStringLiteral("PC->  60 01 81 FB"), QStringLiteral("TimeOut")}));
}

void TestTransport::longPastedTextIsSentWhole()
{
    // Twenty frames of 1023 bytes each: over 60000 characters, far past a line edit's
    // usual limit of 32767, and every frame closed by its checksum.
    QString text;
    QByteArray expected;
    for (int frame = 0; frame < 20; ++frame) {
        QByteArray data(1023, char(frame));
        text += QString::fromLatin1(data.toHex(' ')) + QStringLiteral(" *");
        expected += data + char(transport::frameChecksum(data));
    }
    auto* edit = bench_->control<QLineEdit>("otpravedit");
    edit->setText(text);
    QCOMPARE(edit->text().size(), text.size());
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(bench_->device().receive(std::size_t(expected.size()), std::chrono::seconds(10)), expected.toStdString());
}

void TestTransport::outputTheLineCannotTakeIsReported()
{
    // A device that reads nothing: what the line cannot take within the write time-out
    // is dropped, and the operator reads so in the log of the current mode. Every byte
    // written is either in the line's buffers, readable by the device, or reported; a
    // flood of expiring writes may take more than one line to report.
    QString text;
    for (int frame = 0; frame < 40; ++frame)
        text += QString::fromLatin1(QByteArray(1000, char(frame)).toHex(' ')) + QStringLiteral(" *");
    bench_->line().obrabZapstr(text);
    const int written = 40 * 1001;
    const QString notice = QStringLiteral("Не отправлено ");
    const auto reported = [&] {
        int dropped = 0;
        for (const QString& line : bench_->consoleLines().filter(notice)) {
            if (!line.endsWith(QStringLiteral(" байт: линия их не приняла")))
                return -1;
            dropped += line.mid(notice.size()).section(u' ', 0, 0).toInt();
        }
        return dropped;
    };
    // The device starts reading once something was reported; what it reads then was
    // held by the line (or still waited in time), never reported as well.
    QTRY_VERIFY_WITH_TIMEOUT(reported() > 0, 10000);
    std::size_t received = 0;
    QTRY_COMPARE_WITH_TIMEOUT(reported() + int(received += bench_->device().receiveAvailable().size()), written, 15000);
}

void TestTransport::consoleKeyFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result"); // empty: dropped
    const std::pair<const char*, const char*> cases[] = {
        {"a", "A"}, {"ф", "A"}, {"Ф", "A"}, {"b", "B"}, {"и", "B"}, {"И", "B"}, {"c", "C"}, {"с", "C"},
        {"С", "C"}, {"d", "D"}, {"в", "D"}, {"В", "D"}, {"e", "E"}, {"у", "E"}, {"У", "E"}, {"f", "F"},
        {"а", "F"}, {"А", "F"}, {"№", "#"}, {"0", "0"}, {"9", "9"}, {"A", "A"}, {"F", "F"}, {" ", " "},
        {"*", "*"}, {"#", "#"}, {"\b", "\b"}, {"є", "є"}, {"ї", "ї"}, {"»", "»"}, {"g", ""}, {"G", ""},
        {"ы", ""}, {"z", ""}, {",", ""}, {".", ""}, {"-", ""}, {"я", ""},
    };
    for (const auto& [typed, result] : cases)
        QTest::newRow(typed) << QString::fromUtf8(typed) << QString::fromUtf8(result);
}

void TestTransport::consoleKeyFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, result);
    const std::optional<QChar> filtered = dispenser::consoleKeyFilter(typed.front());
    QCOMPARE(filtered ? QString(*filtered) : QString(), result);
}

void TestTransport::cyrillicKeysTypeHexLetters()
{
    // The Russian layout's keys for "f0 ы" and a digit typed through the real edit.
    bench_->typeAndSend(QString::fromUtf8("аф ы1*"));
    QCOMPARE(bench_->control<QLineEdit>("otpravedit")->text(), QStringLiteral("FA 1*"));
    const QByteArray data = QByteArray::fromHex("FA10");
    QCOMPARE(bench_->device().receive(3), (data + char(transport::frameChecksum(data))).toStdString());
}

QTEST_MAIN(TestTransport)
#include "test_transport.moc"
