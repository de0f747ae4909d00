// The meter's protocol without a window: reply decoding, the field rules, and the
// poll and the settings sequences fed ticks with the line idle or busy.

#include "frametext.h"
#include "meterdecoder.h"
#include "../support/heardframes.h"
#include "meterpoll.h"
#include "meterreplies.h"
#include "metertexts.h"
#include "powersums.h"

#include <QMetaEnum>
#include <QTest>

using namespace meter;

namespace {

std::vector<std::uint8_t> bytes(const char* hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return {raw.begin(), raw.end()};
}

// Everything a decoded reply shows, one "where=what" item each, in a fixed order.
QString shown(const MeterReply& reply)
{
    QStringList out;
    for (const QString& line : reply.logLines)
        out << QStringLiteral("log=") + line;
    if (reply.requestLogLine)
        out << QStringLiteral("Memo1=") + *reply.requestLogLine;
    if (reply.reading)
        out << QString::fromLatin1(labelName(reply.reading->quantity)) + u'=' + reply.reading->digits
                + QStringLiteral(" value=") + reply.reading->value.toText();
    if (reply.setting)
        out << QString::fromLatin1(kSettings.at(std::size_t(reply.setting->setting)).field) + u'='
                + QString::number(reply.setting->value);
    if (reply.address) {
        out << QStringLiteral("edit_adr_zap=") + reply.address->text;
        if (reply.address->controllerItem)
            out << QStringLiteral("kontroller=%1").arg(*reply.address->controllerItem);
    }
    return out.join(u' ');
}

// A tick pattern: one character per tick, "." the line is idle, "B" a reply is awaited.
// The poll's result: "-" a tick that went without a request, "V1g" V1 sent green,
// "W3r" W3 red, "x" a refused tick.
QString runPoll(PollCycle& poll, int comboItem, const QString& pattern)
{
    QStringList out;
    for (QChar tick : pattern) {
        const bool busy = tick == u'B';
        bool handed = false;
        const auto sent = poll.tick(comboItem, [&](const PollRequest&) { return handed = !busy; });
        if (sent)
            out << QString::fromLatin1(QMetaEnum::fromType<Quantity>().valueToKey(int(sent->quantity)))
                    + (sent->red ? u'r' : u'g');
        else
            out << (busy && !handed ? QStringLiteral("x") : QStringLiteral("-"));
    }
    return out.join(u' ');
}

} // namespace

class TestMeterProtocol : public QObject {
    Q_OBJECT
private slots:
    void replyDecoding_data();
    void replyDecoding();
    void powerSum_data();
    void powerSum();
    void powerSumsOfCycles_data();
    void powerSumsOfCycles();
    void settingValues_data();
    void settingValues();
    void newAddresses_data();
    void newAddresses();
    void poll_data();
    void poll();
    void settingsSequence_data();
    void settingsSequence();
    void heardFrames_data();
    void heardFrames();
};

void TestMeterProtocol::replyDecoding_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("expectCmd");
    QTest::addColumn<QString>("shown");

    // One byte: the answer to a write, whatever was read last.
    QTest::newRow("written") << QByteArray("00") << 0x91 << "log=Записано верно Memo1=00";
    QTest::newRow("programming error") << QByteArray("FF") << 0x35 << "log=Ошибка при программировании Memo1=FF";
    QTest::newRow("other single byte") << QByteArray("5A") << 0x45 << "Memo1=5A";
    QTest::newRow("nothing came") << QByteArray() << 0x91 << "log=TimeOut";
    QTest::newRow("bad checksum") << QByteArray("91323200") << 0x91 << "log= CSM ERROR 4";

    // Readings: the label shows the digits of bytes 1 to 6 (a decimal point and blanks
    // drop out); the value keeps the number as the meter sent it.
    QTest::newRow("V1 220.51") << QByteArray("913232302E353139") << 0x91 << "vv1=22051 value=220.51";
    QTest::newRow("A2 blank and point") << QByteArray("A220342E383730BF") << 0xA2 << "aa2=4870 value=4.870";
    QTest::newRow("W1 blanks") << QByteArray("8120203131323913") << 0x81 << "ww1=1129 value=1129";
    QTest::newRow("W3 only six characters count") << QByteArray("833132333435363738D4") << 0x83 << "ww3=123456 value=123456";
    // The checksum (39, "9") of a short reply is no digit of the reading.
    QTest::newRow("short, checksum a digit") << QByteArray("A12039") << 0xA1 << "aa1= value=";
    QTest::newRow("short, point and digit") << QByteArray("812E3939") << 0x81 << "ww1=9 value=0.9";
    QTest::newRow("reading code without label") << QByteArray("843132333435369D") << 0x84 << "";

    // Settings: bytes 0 and 1, high first.
    QTest::newRow("voltage correction 100") << QByteArray("006437") << 0x35 << "v_kor_edit1=100";
    QTest::newRow("lower limit 300") << QByteArray("012CA3") << 0x05 << "Edit4=300";
    QTest::newRow("current limit 65535") << QByteArray("FFFFFF") << 0x57 << "Edit3=65535";
    QTest::newRow("setting reply too short") << QByteArray("00FF") << 0x35
                                             << "log=Ответ из 2 байт короче ожидаемого: значение не показано";

    // The address in byte 1: selected in the address list when it is one of its items.
    QTest::newRow("address 11") << QByteArray("4511C8") << 0x45 << "edit_adr_zap=11 kontroller=16";
    QTest::newRow("address 7F") << QByteArray("457F14") << 0x45 << "edit_adr_zap=7F kontroller=126";
    QTest::newRow("address 90") << QByteArray("4590CB") << 0x45 << "edit_adr_zap=90";
    QTest::newRow("address 00 selects none") << QByteArray("4500EA") << 0x45 << "edit_adr_zap=00 kontroller=-1";
    QTest::newRow("nothing read yet") << QByteArray("006437") << 0x00 << "";
}

void TestMeterProtocol::replyDecoding()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, expectCmd);
    QFETCH(QString, shown);
    QCOMPARE(::shown(decodeReply(bytes(reply.constData()), std::uint8_t(expectCmd))), shown);
}

void TestMeterProtocol::powerSum_data()
{
    QTest::addColumn<QStringList>("powers");
    QTest::addColumn<QString>("sum"); // empty: the sum keeps its text

    QTest::newRow("100 200 300") << QStringList{"100", "200", "300"} << "600";
    QTest::newRow("leading zeros") << QStringList{"001129", "0", "0"} << "1129";
    QTest::newRow("an empty label") << QStringList{"100", "", "300"} << "";
    QTest::newRow("not decimal") << QStringList{"100", "2O0", "300"} << "";
}

void TestMeterProtocol::powerSum()
{
    QFETCH(QStringList, powers);
    QFETCH(QString, sum);
    QCOMPARE(powerSumText({powers[0], powers[1], powers[2]}).value_or(QString()), sum);
}

// Events: "V1" the poll asks for V1; "W1=1.5" asks for W1 and the meter answers
// 1.5 (six characters, blanks before); "W3~3" an answer nobody asked for; "restart"
// the poll starts again. Shown after each power: the panel's sum ("-": kept) and, once
// a cycle has its three powers, "Σ" and the cycle's sum in units.
void TestMeterProtocol::powerSumsOfCycles_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("shown");

    QTest::newRow("a full cycle: the panel adds digits, the chart values")
        << QStringList{"V1", "W1=1.5", "W2=2", "W3=0.25"} << "15 17 42 Σ3.75";
    QTest::newRow("a power without digits: no sum until it is read again")
        << QStringList{"V1", "W1=100", "W2=", "W3=300", "V1", "W1=100", "W2=200", "W3=300"}
        << "100 - - - 600 600 Σ600";
    QTest::newRow("a cycle does not take the powers of the one before")
        << QStringList{"W1=1", "W2=2", "W3", "W1", "W2=5", "W3=6"} << "1 3 6 12";
    QTest::newRow("one quantity polled: each tick a cycle of its own")
        << QStringList{"W1=5", "W1=5", "W1=5"} << "5 5 5";
    QTest::newRow("a restart begins a cycle") << QStringList{"W1=1", "W2=2", "restart", "W3=3"} << "1 3 6";
    QTest::newRow("an answer repeated: one sum per cycle")
        << QStringList{"W1=1", "W2=2", "W3=3", "W3~3"} << "1 3 6 Σ6 6";
}

void TestMeterProtocol::powerSumsOfCycles()
{
    QFETCH(QStringList, events);
    QFETCH(QString, shown);
    PowerSums sums;
    QStringList out;
    for (const QString& event : events) {
        if (event == u"restart") {
            sums.restart();
            continue;
        }
        const QString name = event.left(2);
        const Quantity quantity = *quantityFromName(name);
        if (!event.contains(u'~'))
            sums.asked(quantity);
        if (event.size() == 2)
            continue;
        // The reply the meter would send: the code, six characters and the checksum.
        QByteArray reply(1, char(quantityInfo(quantity).code));
        reply += event.mid(3).toLatin1().rightJustified(6, ' ');
        reply += char(transport::frameChecksum(reply));
        const MeterReply decoded = decodeReply(bytes(reply.toHex().constData()), quantityInfo(quantity).code);
        const PowerSums::Sums sum = sums.add(*decoded.reading);
        out << sum.label.value_or(QStringLiteral("-"));
        if (sum.ofCycle)
            out << QStringLiteral("Σ") + sum.ofCycle->toText();
    }
    QCOMPARE(out.join(u' '), shown);
}

void TestMeterProtocol::settingValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -1: cannot be written

    QTest::newRow("100") << "100" << 100;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("65535") << "65535" << 65535;
    QTest::newRow("blanks around") << " 42 " << 42;
    QTest::newRow("65536") << "65536" << -1;
    QTest::newRow("huge") << "99999999999999999999" << -1;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("decimal point") << "1.5" << -1;
    QTest::newRow("other digits") << "١٢" << -1;
}

void TestMeterProtocol::settingValues()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    const auto parsed = settingValue(text);
    QCOMPARE(parsed ? int(*parsed) : -1, value);
}

void TestMeterProtocol::newAddresses_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("address"); // empty: refused

    QTest::newRow("22") << "22" << "22";
    QTest::newRow("one digit") << "5" << "05";
    QTest::newRow("lower case") << "7f" << "7F";
    QTest::newRow("00") << "00" << "";
    QTest::newRow("80") << "80" << "";
    QTest::newRow("F0") << "F0" << "";
    QTest::newRow("three digits") << "011" << "";
    QTest::newRow("not hex") << "1G" << "";
    QTest::newRow("empty") << "" << "";
}

void TestMeterProtocol::newAddresses()
{
    QFETCH(QString, typed);
    QFETCH(QString, address);
    QCOMPARE(newMeterAddress(typed).value_or(QString()), address);
}

void TestMeterProtocol::poll_data()
{
    QTest::addColumn<int>("comboItem");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("sent");

    QTest::newRow("all, line idle") << 0 << QString(12, u'.')
                                    << "- V1g V2g V3g A1g A2g A3g W1g W2g W3g V1r V2r";
    // With a 300 ms poll and a 500 ms window every other tick finds a reply awaited:
    // those ticks change nothing and no quantity is skipped.
    QTest::newRow("all, every other tick busy") << 0 << QStringLiteral(".B").repeated(11)
                                                << "- x V1g x V2g x V3g x A1g x A2g x A3g x W1g x W2g x W3g x V1r x";
    QTest::newRow("all, busy runs") << 0 << ".BBB.B..BBBBB....."
                                    << "- x x x V1g x V2g V3g x x x x x A1g A2g A3g W1g W2g";
    QTest::newRow("W1 alone") << 7 << ".B..." << "W1r x W1g W1r W1g";
    // The phase turns twice per W3 tick, so W3 alone keeps its colour.
    QTest::newRow("W3 alone") << 9 << "...." << "W3r W3r W3r W3r";
}

void TestMeterProtocol::poll()
{
    QFETCH(int, comboItem);
    QFETCH(QString, pattern);
    QFETCH(QString, sent);
    PollCycle poll;
    poll.restart();
    QCOMPARE(runPoll(poll, comboItem, pattern), sent);
}

void TestMeterProtocol::settingsSequence_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("finishedAt"); // the tick (from 0) that ends the sequence, -1 none

    QTest::newRow("line idle") << QString(16, u'.') << 15;
    QTest::newRow("every other tick busy") << QStringLiteral(".B").repeated(16) << 30;
    // After the fifteenth step the sequence ends only once its window has closed.
    QTest::newRow("last window long") << QString(15, u'.') + QStringLiteral("BBBB.") << 19;
    QTest::newRow("line never idle after step 3") << QStringLiteral("...") + QString(20, u'B') << -1;
}

void TestMeterProtocol::settingsSequence()
{
    QFETCH(QString, pattern);
    QFETCH(int, finishedAt);
    SettingsSequence sequence;
    sequence.start();
    QList<int> steps;
    int finished = -1;
    for (int tick = 0; tick < pattern.size(); ++tick) {
        const auto result = sequence.tick(pattern[tick] == u'B', [&](int setting) { steps << setting; });
        if (result == SettingsSequence::Tick::Finished) {
            QCOMPARE(finished, -1);
            finished = tick;
        }
    }
    QCOMPARE(finished, finishedAt);
    QCOMPARE(sequence.running(), finishedAt < 0);
    // Every setting once, in table order, whatever the line did.
    const qsizetype expectedSteps = finishedAt < 0 ? pattern.count(u'.') : kSettingCount;
    QCOMPARE(steps.size(), expectedSteps);
    for (int i = 0; i < steps.size(); ++i)
        QCOMPARE(steps[i], i);
}

// What a listener on the line is told of the meter's frames (the monitor shows it after
// each frame's bytes): requests named by the mode's own request texts, replies decoded
// against the last read.
void TestMeterProtocol::heardFrames_data()
{
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QStringList>("described");
    QTest::newRow("a setting read") << QStringList{"A 60 01 35*", "B 00 64 *"}
                                    << QStringList{"чтение: Коррекция напряжения, фаза 1, адрес 01",
                                                   "Коррекция напряжения, фаза 1 = 100, CSM верна"};
    QTest::newRow("a setting written") << QStringList{"A 60 01 31* 00 64*", "B 00"}
                                       << QStringList{"запись: Коррекция напряжения, фаза 1 = 100, адрес 01",
                                                      "ответ на запись: Записано верно"};
    QTest::newRow("the meter's address") << QStringList{"A 60 F0 45*", "B 00 11 *"}
                                         << QStringList{"чтение адреса счётчика", "адрес счётчика 11, CSM верна"};
    QTest::newRow("a read code the meter lacks")
        << QStringList{"A 60 01 99*", "B 01 02 *"}
        << QStringList{"неизвестный код чтения 99, адрес 01", "ответ на код 99: такой ответ не описан, CSM верна"};
}

void TestMeterProtocol::heardFrames()
{
    QFETCH(QStringList, frames);
    QFETCH(QStringList, described);
    const std::unique_ptr<linecapture::FrameDecoder> decoder = makeMeterDecoder();
    QCOMPARE(qldixw::testing::heardFrames(*decoder, frames), described);
}

QTEST_APPLESS_MAIN(TestMeterProtocol)
#include "test_meterprotocol.moc"
