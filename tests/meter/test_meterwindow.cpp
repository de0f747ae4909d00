// The meter mode in the whole program: its buttons put their frames on a
// pseudo-terminal, the test answers as the meter, the panel shows the replies.

#include "consoletestbench.h"
#include "frametext.h"
#include "meterfamily.h"
#include "modalcatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace qldixw::testing;

namespace {

QString hexOf(const std::string& bytes)
{
    return transport::byteText(QByteArray::fromStdString(bytes)).trimmed();
}

// "60 01 35" → "60 01 35 92": bytes and their checksum, as the meter checks them.
QString closed(const QString& hex)
{
    QByteArray frame = QByteArray::fromHex(hex.toLatin1());
    frame.append(char(transport::frameChecksum(frame)));
    return transport::byteText(frame).trimmed();
}

QString hex2(int value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The settings as the meter's manual lists them: R button and read code, W button,
// its frame text middle, and the field with its starting value.
struct SettingRow {
    const char* read;
    int readCode;
    const char* write;
    const char* middle;
    const char* field;
    int start;
};
constexpr SettingRow kSettingRows[] = {
    {"readk_v1", 0x35, "v_k1", " 31* ", "v_kor_edit1", 100}, {"readk_v2", 0x36, "v_k2", " 32* ", "v_kor_edit2", 100},
    {"readk_v3", 0x37, "v_k3", " 33* ", "v_kor_edit3", 100}, {"Button10", 0x05, "Button11", " 01* ", "Edit4", 175},
    {"Button12", 0x06, "Button13", " 02* ", "Edit5", 175},   {"Button14", 0x07, "Button15", " 03* ", "Edit6", 175},
    {"Button16", 0x15, "Button17", " 11* ", "Edit7", 253},   {"Button18", 0x16, "Button19", " 12* ", "Edit8", 253},
    {"Button20", 0x17, "Button21", " 13* ", "Edit9", 253},   {"readk_a1", 0x25, "a_k1", " 21 *", "a_kor_edit1", 100},
    {"readk_a2", 0x26, "a_k2", " 22* ", "a_kor_edit2", 100}, {"readk_a3", 0x27, "a_k3", " 23* ", "a_kor_edit3", 100},
    {"Button4", 0x55, "Button5", " 51* ", "Edit1", 10},      {"Button6", 0x56, "Button7", " 52* ", "Edit2", 10},
    {"Button8", 0x57, "Button9", " 53* ", "Edit3", 10},
};

constexpr std::pair<const char*, int> kQuantityCodes[] = {
    {"V1", 0x91}, {"V2", 0x92}, {"V3", 0x93}, {"A1", 0xA1}, {"A2", 0xA2},
    {"A3", 0xA3}, {"W1", 0x81}, {"W2", 0x82}, {"W3", 0x83},
};

// The twelve correction buttons the poll locks.
const QStringList kPollLocked = {"v_k1", "v_k2", "v_k3", "a_k1", "a_k2", "a_k3",
                                 "readk_a1", "readk_a2", "readk_a3", "readk_v1", "readk_v2", "readk_v3"};

} // namespace

class TestMeterWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void requests_data();
    void requests();
    void replies_data();
    void replies();
    void requestsWhileAwaitingAReply();
    void refusedFields_data();
    void refusedFields();
    void pollControlsAndPortClose();
    void readAllKeepsThePanelUntilItsLastWindow();
    void closedPort_data();
    void closedPort();

private:
    template <class T = QWidget>
    T* ctl(const QString& name)
    {
        T* control = bench_->control<T>(name);
        if (!control)
            qFatal("no control %s", qPrintable(name));
        return control;
    }
    void click(const QString& button) { QTest::mouseClick(ctl<QPushButton>(button), Qt::LeftButton); }
    // Runs what a row's action names: a button, "poll:<item>" (one poll tick on that
    // quantity), or "tick:<channels>" (ticks those indication channels, then programs).
    void act(const QString& action);
    bool endWindow(int count);
    // The next bytes on the line, while the program's timers run.
    QString received(std::size_t count);
    QStringList meterLog() const { return bench_->lines(QStringLiteral("Memo_log")); }

    std::unique_ptr<ConsoleTestBench> bench_;
};

void TestMeterWindow::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    QVERIFY(bench_->openPort());
    bench_->selectMode(ModeERK2);
    QVERIFY(ctl("ERK2Panel")->isVisible());
}

void TestMeterWindow::cleanup()
{
    bench_.reset();
}

void TestMeterWindow::act(const QString& action)
{
    if (action.startsWith(QStringLiteral("poll:"))) {
        ctl<QComboBox>("read_combo")->setCurrentIndex(action.mid(5).toInt());
        click("read_all");
        // A single quantity is read from the first tick on.
        QTRY_VERIFY_WITH_TIMEOUT(bench_->line().busy(), 3000);
        click("read_all");
    } else if (action.startsWith(QStringLiteral("tick:"))) {
        for (QChar channel : action.mid(5))
            ctl<QCheckBox>(QStringLiteral("Ind_ch") + channel)->setChecked(true);
        click("Button2");
    } else {
        click(action);
    }
}

bool TestMeterWindow::endWindow(int count)
{
    if (!QTest::qWaitFor([&] { return bench_->line().receivedByteCount() == count; }, 3000))
        return false;
    bench_->line().readportandobrabotka();
    return true;
}

QString TestMeterWindow::received(std::size_t count)
{
    std::string bytes;
    static_cast<void>(QTest::qWaitFor([&] {
        bytes += bench_->device().receiveAvailable();
        return bytes.size() >= count;
    }, 5000));
    return hexOf(bytes);
}

void TestMeterWindow::requests_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text");     // the line in the meter log
    QTest::addColumn<QString>("wire");     // the bytes on the line
    QTest::addColumn<bool>("composed");    // the text is shown in the console line too

    // The worked examples.
    QTest::newRow("V2 at 01") << "01" << "poll:2" << "60 0192*" << "60 01 92 DD" << true;
    QTest::newRow("v_k1 100 at 01") << "01" << "v_k1" << "60 01 31* 0064*" << "60 01 31 9A 00 64 37" << false;
    QTest::newRow("Edit4 R at 01") << "01" << "Button10" << "60 0105*" << "60 01 05 F2" << true;
    QTest::newRow("channels 0 and 2 at 01") << "01" << "tick:02" << "60 01 71* 05*" << "60 01 71 1A 05 F5" << false;
    QTest::newRow("address 22 at 11") << "11" << "Button3:22" << "60 11 41 *22*" << "60 11 41 3A 22 BB" << false;
    QTest::newRow("address read at 11") << "11" << "Button22" << "60 F0 45*" << "60 F0 45 B5" << true;

    for (const QString& address : {QStringLiteral("01"), QStringLiteral("7F")}) {
        const auto name = [&](const QString& what) { return (what + QStringLiteral(" at ") + address).toUtf8(); };
        for (const SettingRow& s : kSettingRows) {
            const QString code = hex2(s.readCode);
            QTest::newRow(name(QString::fromLatin1(s.read)).constData()) << address << QString::fromLatin1(s.read)
                << QStringLiteral("60 ") + address + code + u'*' << closed(QStringLiteral("60 ") + address + u' ' + code)
                << true;
            const QString value = QStringLiteral("%1").arg(s.start, 4, 16, QLatin1Char('0')).toUpper();
            const QString writeCode = hex2(s.readCode - 4);
            QTest::newRow(name(QString::fromLatin1(s.write)).constData()) << address << QString::fromLatin1(s.write)
                << QStringLiteral("60 ") + address + QString::fromLatin1(s.middle) + value + u'*'
                << closed(QStringLiteral("60 ") + address + u' ' + writeCode) + u' '
                       + closed(value.left(2) + u' ' + value.mid(2))
                << false;
        }
        int item = 1;
        for (const auto& [quantity, code] : kQuantityCodes)
            QTest::newRow(name(QString::fromLatin1(quantity)).constData()) << address << QStringLiteral("poll:%1").arg(item++)
                << QStringLiteral("60 ") + address + hex2(code) + u'*'
                << closed(QStringLiteral("60 ") + address + u' ' + hex2(code)) << true;
        QTest::newRow(name(QStringLiteral("all channels")).constData()) << address << "tick:01234567"
            << QStringLiteral("60 ") + address + QStringLiteral(" 71* FF*")
            << closed(QStringLiteral("60 ") + address + QStringLiteral(" 71")) + u' ' + closed(QStringLiteral("FF")) << false;
        QTest::newRow(name(QStringLiteral("no channel")).constData()) << address << "Button2"
            << QStringLiteral("60 ") + address + QStringLiteral(" 71* 00*")
            << closed(QStringLiteral("60 ") + address + QStringLiteral(" 71")) + u' ' + closed(QStringLiteral("00")) << false;
        QTest::newRow(name(QStringLiteral("new address 5")).constData()) << address << "Button3:5"
            << QStringLiteral("60 ") + address + QStringLiteral(" 41 *05*")
            << closed(QStringLiteral("60 ") + address + QStringLiteral(" 41")) + u' ' + closed(QStringLiteral("05")) << false;
        QTest::newRow(name(QStringLiteral("address read")).constData()) << address << "Button22" << "60 F0 45*" << "60 F0 45 B5" << true;
    }
}

void TestMeterWindow::requests()
{
    QFETCH(QString, address);
    QFETCH(QString, action);
    QFETCH(QString, text);
    QFETCH(QString, wire);
    QFETCH(bool, composed);

    bench_->control<QComboBox>("kontroller")->setEditText(address);
    const QString before = ctl<QLineEdit>("otpravedit")->text();
    if (action.startsWith(QStringLiteral("Button3:"))) {
        ctl<QLineEdit>("edit_adr_zap")->setText(action.mid(8));
        action = QStringLiteral("Button3");
    }
    act(action);

    QCOMPARE(hexOf(bench_->device().receive(std::size_t(wire.count(u' ') + 1))), wire);
    QCOMPARE(meterLog(), QStringList{text});
    QCOMPARE(ctl<QLineEdit>("otpravedit")->text(), composed ? text : before);
    QVERIFY(bench_->line().busy());
}

void TestMeterWindow::replies_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("control"); // where the reply shows
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("log"); // the meter log after the request's own line
    QTest::addColumn<QString>("memo1");   // the request log's last line

    // One row per kind of destination; the decoding itself is tested without a window.
    QTest::newRow("setting field") << "Button10" << "01 2C A3" << "Edit4" << "300" << QStringList{} << "";
    QTest::newRow("reading label") << "poll:1" << "91 32 32 30 2E 35 31 39" << "vv1" << "22051" << QStringList{} << "";
    QTest::newRow("address selected") << "Button22" << "45 22 AE" << "kontroller" << "22" << QStringList{} << "";
    QTest::newRow("address not in the list") << "Button22" << "45 90 CB" << "kontroller" << "01" << QStringList{} << "";
    QTest::newRow("written") << "v_k1" << "00" << "v_kor_edit1" << "100" << QStringList{"Записано верно"} << "00";
    QTest::newRow("programming error") << "Button2" << "FF" << "Edit4" << "175"
                                       << QStringList{"Ошибка при программировании"} << "FF";
    QTest::newRow("bad checksum") << "Button10" << "01 2C 00" << "Edit4" << "175" << QStringList{" CSM ERROR 3"} << "";
}

void TestMeterWindow::replies()
{
    QFETCH(QString, action);
    QFETCH(QString, reply);
    QFETCH(QString, control);
    QFETCH(QString, shown);
    QFETCH(QStringList, log);
    QFETCH(QString, memo1);

    ModalCatcher boxes;
    act(action);
    QVERIFY(!bench_->device().receive(4).empty());
    const QByteArray replyBytes = QByteArray::fromHex(reply.toLatin1());
    QVERIFY(bench_->device().send(replyBytes.toStdString()));
    QVERIFY(endWindow(int(replyBytes.size())));

    QWidget* target = ctl(control);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(target))
        text = label->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(target))
        text = edit->text();
    else if (auto* combo = qobject_cast<QComboBox*>(target))
        text = combo->currentText();
    QCOMPARE(text, shown);
    QCOMPARE(meterLog().mid(1), log);
    const QStringList requestLog = bench_->lines(QStringLiteral("Memo1"));
    QCOMPARE(requestLog.isEmpty() ? QString() : requestLog.last(), memo1);
    QVERIFY(boxes.texts().isEmpty());
}

// A request made while a reply is awaited must not move that reply elsewhere nor read
// as if it went out.
void TestMeterWindow::requestsWhileAwaitingAReply()
{
    ctl<QLineEdit>("v_kor_edit1")->clear();
    click("readk_v1");
    QCOMPARE(hexOf(bench_->device().receive(4)), QStringLiteral("60 01 35 92"));

    click("Button10");   // R of Edit4
    click("Button11");   // W of Edit4
    click("Button22");   // the address read
    QTest::qWait(50);
    QCOMPARE(hexOf(bench_->device().receiveAvailable()), QString());
    QCOMPARE(meterLog(), (QStringList{"60 0135*", "60 01 01* 00AF*", "Не отправлено: ожидается ответ на предыдущий запрос"}));

    QVERIFY(bench_->device().send(QByteArray::fromHex("006437").toStdString()));
    QVERIFY(endWindow(3));
    QCOMPARE(ctl<QLineEdit>("v_kor_edit1")->text(), QStringLiteral("100"));
    QCOMPARE(ctl<QLineEdit>("Edit4")->text(), QStringLiteral("175"));
    QCOMPARE(ctl<QLineEdit>("edit_adr_zap")->text(), QStringLiteral("11"));
}

void TestMeterWindow::refusedFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("box");  // the message box's text, if one shows
    QTest::addColumn<QString>("line"); // the meter log's line, if one is added

    const QString range = QStringLiteral("» — не целое число от 0 до 65535, значение не записано");
    QTest::newRow("letters") << "v_kor_edit1" << "abc" << "v_k1"
                             << "Коррекция напряжения, фаза 1: «abc" + range << "";
    QTest::newRow("above 65535") << "Edit9" << "65536" << "Button21"
                                 << "Верхний предел напряжения, фаза 3: «65536" + range << "";
    QTest::newRow("negative") << "Edit2" << "-1" << "Button7" << "Верхний предел тока, фаза 2: «-1" + range << "";
    QTest::newRow("empty") << "a_kor_edit3" << "" << "a_k3" << "Коррекция тока, фаза 3: «" + range << "";
    QTest::newRow("address 80") << "edit_adr_zap" << "80" << "Button3" << ""
                                << "Новый адрес «80» — не адрес от 01 до 7F: не записан";
    QTest::newRow("address 00") << "edit_adr_zap" << "00" << "Button3" << ""
                                << "Новый адрес «00» — не адрес от 01 до 7F: не записан";
    QTest::newRow("address of three digits") << "edit_adr_zap" << "111" << "Button3" << ""
                                             << "Новый адрес «111» — не адрес от 01 до 7F: не записан";
    QTest::newRow("no controller address") << "kontroller" << "" << "Button10" << ""
                                           << "Адрес «» — не адрес контроллера (01-7F): запрос не отправлен";
}

void TestMeterWindow::refusedFields()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, button);
    QFETCH(QString, box);
    QFETCH(QString, line);

    if (auto* combo = bench_->control<QComboBox>(field))
        combo->setEditText(text);
    else
        ctl<QLineEdit>(field)->setText(text);
    ModalCatcher boxes;
    click(button);
    QCOMPARE(boxes.texts(), box.isEmpty() ? QStringList{} : QStringList{box});
    QCOMPARE(meterLog(), line.isEmpty() ? QStringList{} : QStringList{line});
    QVERIFY(!bench_->line().busy());
    QTest::qWait(20);
    QCOMPARE(hexOf(bench_->device().receiveAvailable()), QString());
}

void TestMeterWindow::pollControlsAndPortClose()
{
    auto* poll = bench_->window().findChild<QTimer*>(QStringLiteral("Timer2"));
    auto* readAll = ctl<QPushButton>("read_all");
    const auto lockedEnabled = [&] {
        int enabled = 0;
        for (const QString& name : kPollLocked)
            enabled += ctl(name)->isEnabled();
        return enabled;
    };
    QCOMPARE(lockedEnabled(), 12);

    click("read_all");
    QCOMPARE(readAll->text(), QStringLiteral("Прекратить чтение"));
    QVERIFY(poll->isActive());
    QCOMPARE(lockedEnabled(), 0);
    QVERIFY(ctl("Button10")->isEnabled() && ctl("Button2")->isEnabled());
    click("read_all");
    QCOMPARE(readAll->text(), QStringLiteral("Читать"));
    QVERIFY(!poll->isActive());
    QCOMPARE(lockedEnabled(), 12);

    // "Протеус": the poll slows to one tick in five seconds from its next tick on.
    ctl<QCheckBox>("proteus_check")->setChecked(true);
    ctl<QComboBox>("read_combo")->setCurrentIndex(7);
    click("read_all");
    QCOMPARE(received(4), QStringLiteral("60 01 81 FB"));
    QCOMPARE(poll->interval(), 5000);

    // Closing the port stops the poll and disables the panel until it opens again.
    click("ClosePort");
    QVERIFY(!poll->isActive());
    QVERIFY(!ctl("ERK2Panel")->isEnabled());
    click("OpenPort");
    QVERIFY(ctl("ERK2Panel")->isEnabled());
    QVERIFY(!poll->isActive());
    QCOMPARE(readAll->text(), QStringLiteral("Прекратить чтение"));
    click("read_all");
    QCOMPARE(readAll->text(), QStringLiteral("Читать"));
    QCOMPARE(lockedEnabled(), 12);

    // "Очистить" empties the meter log and nothing else.
    const QStringList memo2 = bench_->lines(QStringLiteral("Memo2"));
    QVERIFY(!meterLog().isEmpty() && !memo2.isEmpty());
    click("clear_log_Button");
    QVERIFY(meterLog().isEmpty());
    QCOMPARE(bench_->lines(QStringLiteral("Memo2")), memo2);
}

void TestMeterWindow::readAllKeepsThePanelUntilItsLastWindow()
{
    click("rd_kor_all");
    QVERIFY(!ctl("ERK2Panel")->isEnabled());
    // The first step empties the fields; each value then comes in its own window.
    for (int step = 0; step < 15; ++step) {
        QCOMPARE(received(4), closed(QStringLiteral("60 01 ") + hex2(kSettingRows[step].readCode)));
        if (step == 0)
            QCOMPARE(ctl<QLineEdit>("Edit3")->text(), QString());
        QVERIFY(!ctl("ERK2Panel")->isEnabled());
        const QString value = closed(QStringLiteral("00 %1").arg(hex2(step + 1)));
        QVERIFY(bench_->device().send(QByteArray::fromHex(value.toLatin1()).toStdString()));
        QVERIFY(endWindow(3));
    }
    QTRY_VERIFY(ctl("ERK2Panel")->isEnabled());
    for (int step = 0; step < 15; ++step)
        QCOMPARE(ctl<QLineEdit>(QString::fromLatin1(kSettingRows[step].field))->text(), QString::number(step + 1));
    QCOMPARE(hexOf(bench_->device().receiveAvailable()), QString());
}

void TestMeterWindow::closedPort_data()
{
    QTest::addColumn<QString>("asked");   // what asks for frames
    QTest::addColumn<QStringList>("log"); // Memo_log from the close on
    const QString notSent = QStringLiteral("Порт закрыт: кадр не отправлен");
    QTest::newRow("a setting read") << "read" << QStringList{"60 0135*", notSent};
    QTest::newRow("a setting written") << "write" << QStringList{"60 01 31* 0064*", notSent};
    QTest::newRow("the address read") << "address" << QStringList{"60 F0 45*", notSent};
    QTest::newRow("read-all cut short by the close") << "read-all" << QStringList{notSent};
    QTest::newRow("write-all cut short by the close") << "write-all" << QStringList{notSent};
}

// A frame asked for on a closed port is said once in the meter log, as in the other
// modes; the panel is disabled then, so a click comes only past it (a shortcut, a
// timer). A read-all or write-all under way ends with the close instead of logging each
// of its requests as if it went out, and the panel works again once the port opens.
void TestMeterWindow::closedPort()
{
    QFETCH(QString, asked);
    QFETCH(QStringList, log);
    auto* family = bench_->window().findChild<meter::MeterFamily*>();
    QVERIFY(family);
    QTimer* const sequence = bench_->window().findChild<QTimer*>(asked == u"write-all" ? QStringLiteral("Timer4") : QStringLiteral("Timer3"));
    QVERIFY(sequence);
    const bool cut = asked.endsWith(QStringLiteral("-all"));
    if (cut) {
        click(asked == u"read-all" ? QStringLiteral("rd_kor_all") : QStringLiteral("wr_kor_all"));
        // Both frames of a write.
        QVERIFY(!received(asked == u"write-all" ? 7 : 4).isEmpty());
        QVERIFY(sequence->isActive());
    }
    const qsizetype before = meterLog().size();
    click("ClosePort");
    QVERIFY(!ctl("ERK2Panel")->isEnabled());
    if (asked == u"read")
        family->readSettingClick(0);
    else if (asked == u"write")
        family->writeSettingClick(0);
    else if (asked == u"address")
        family->Button22Click();
    QVERIFY(!sequence->isActive());
    QCOMPARE(meterLog().mid(before), log);

    click("OpenPort");
    QVERIFY(ctl("ERK2Panel")->isEnabled());
    QCOMPARE(hexOf(bench_->device().receiveAvailable()), QString());
}

QTEST_MAIN(TestMeterWindow)
#include "test_meterwindow.moc"
