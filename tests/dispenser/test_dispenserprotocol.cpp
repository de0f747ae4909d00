// The dispenser's requests, reply decoding and number fields, without a port.

#include "dispenserpanel.h"
#include "dispenserdecoder.h"
#include "../support/heardframes.h"
#include "frametext.h"
#include "moneyfields.h"
#include "replydecoding.h"
#include "requesttexts.h"
#include "versiontext.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

using namespace dispenser;

Q_DECLARE_METATYPE(dispenser::DispenserRequest)

namespace {

// The frames the send path makes of a text: cut after each "*", a rest without one.
QString framesOf(const QString& text)
{
    QStringList frames;
    QString rest = text;
    qsizetype star;
    while ((star = rest.indexOf(u'*')) >= 0) {
        frames << transport::byteText(transport::frameTextToBytes(rest.left(star + 1))->bytes).trimmed();
        rest.remove(0, star + 1);
    }
    if (!rest.trimmed().isEmpty())
        frames << transport::byteText(transport::frameTextToBytes(rest)->bytes).trimmed();
    return frames.join(QStringLiteral(" | "));
}

} // namespace

class TestDispenserProtocol : public QObject {
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
    void inputsCheckedBeforeSending_data();
    void inputsCheckedBeforeSending();
    void hoseCheckedBeforeSending_data();
    void hoseCheckedBeforeSending();
    void replies_data();
    void replies();
    void versionText_data();
    void versionText();
    void fieldKeys_data();
    void fieldKeys();
    void fieldRefusesPastedText();
    void heardFrames_data();
    void heardFrames();
};

void TestDispenserProtocol::requests_data()
{
    QTest::addColumn<DispenserRequest>("request");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("hose");
    QTest::addColumn<QString>("text"); // empty: not checked
    QTest::addColumn<QString>("frames");
    QTest::addColumn<int>("expectCmd");
    QTest::addColumn<int>("expectSub");

    using R = DispenserRequest;
    const auto row = [](const QString& name, R r, const char* a, const char* h, const QString& text,
                        const QString& frames, int cmd, int sub) {
        QTest::newRow(qPrintable(name)) << r << QString::fromLatin1(a) << QString::fromLatin1(h) << text << frames
                                        << cmd << sub;
    };
    // Control requests: function code, then the data frame's checksum at 01/1 and at 7F/7.
    const struct {
        const char* name;
        R request;
        const char* code;
        const char* sum1;
        const char* sum7;
    } controls[] = {
        {"activate", R::Activate, "13", "11", "12"},  {"passivate", R::Passivate, "03", "15", "16"},
        {"pause", R::Pause, "0E", "56", "55"},        {"continue", R::Continue, "0A", "57", "54"},
        {"stop", R::Stop, "0B", "17", "14"},          {"valve on", R::ValveOn, "02", "55", "56"},
        {"valve off", R::ValveOff, "0D", "96", "95"},
    };
    for (const auto& c : controls) {
        const int sub = transport::hexText6ToInt(QString::fromLatin1(c.code));
        row(QStringLiteral("%1 01/1").arg(c.name), c.request, "01", "1",
            QStringLiteral("60 01 11 * 01 %1 55 55 55 55 55*").arg(c.code),
            QStringLiteral("60 01 11 DA | 01 %1 55 55 55 55 55 %2").arg(c.code, c.sum1), 0x10, sub);
        row(QStringLiteral("%1 7F/7").arg(c.name), c.request, "7F", "7", QString(),
            QStringLiteral("60 7F 17 2F | 07 %1 55 55 55 55 55 %2").arg(c.code, c.sum7), 0x10, sub);
    }
    row("status 01/1", R::Status, "01", "1", "60 01 81 *", "60 01 81 FB", 0x80, 0x00);
    row("status 7F/7", R::Status, "7F", "7", "60 7F 87 *", "60 7F 87 0E", 0x80, 0x00);
    row("volume 01/1", R::DispenseVolume, "01", "1", "60 01 11 * 01 01 00 00001234 *",
        "60 01 11 DA | 01 01 00 00 00 12 34 1F", 0x10, 0x01);
    row("volume 7F/7", R::DispenseVolume, "7F", "7", "", "60 7F 17 2F | 07 01 00 00 00 12 34 1C", 0x10, 0x01);
    row("money 01/1", R::DispenseMoney, "01", "1", "60 01 11 * 01 11 00 00015000 *",
        "60 01 11 DA | 01 11 00 00 01 50 00 72", 0x10, 0x11);
    row("money 7F/7", R::DispenseMoney, "7F", "7", "", "60 7F 17 2F | 07 11 00 00 01 50 00 71", 0x10, 0x11);
    row("price write 01/1", R::PriceWrite, "01", "1", "60 01 51* 01 00 00 45 67 00 00 *",
        "60 01 51 5A | 01 00 00 45 67 00 00 10", 0x51, 0x00);
    row("price write 7F/7", R::PriceWrite, "7F", "7", "", "60 7F 57 AF | 07 00 00 45 67 00 00 13", 0x57, 0x00);
    row("price read 01/1", R::PriceRead, "01", "1", "60 01 59*", "60 01 59 4A", 0x59, 0x00);
    row("price read 01/3", R::PriceRead, "01", "3", "60 01 5B*", "60 01 5B 4E", 0x5B, 0x00);
    row("price read 7F/7", R::PriceRead, "7F", "7", "60 7F 5F*", "60 7F 5F BF", 0x5F, 0x00);
    row("totaliser read 01/1", R::TotaliserRead, "01", "1", "60 01 71 *", "60 01 71 1A", 0x71, 0x00);
    row("totaliser read 7F/7", R::TotaliserRead, "7F", "7", "60 7F 77 *", "60 7F 77 EF", 0x77, 0x00);
    row("totaliser reset 01/1", R::TotaliserReset, "01", "1", "60 01 79*", "60 01 79 0A", 0x79, 0x00);
    row("totaliser reset 7F/7", R::TotaliserReset, "7F", "7", "60 7F 7F*", "60 7F 7F FF", 0x7F, 0x00);
    row("version 01", R::Version, "01", "1", "60 01 00 * 30", "60 01 00 F8 | 30", 0x00, 0x30);
    row("version 7F", R::Version, "7F", "7", "60 7F 00 * 30", "60 7F 00 01 | 30", 0x00, 0x30);
}

void TestDispenserProtocol::requests()
{
    QFETCH(DispenserRequest, request);
    QFETCH(QString, address);
    QFETCH(QString, hose);
    QFETCH(QString, text);
    QFETCH(QString, frames);
    QFETCH(int, expectCmd);
    QFETCH(int, expectSub);

    RequestInputs in;
    in.address = address;
    in.hose = hose;
    in.litri = QStringLiteral("000012,340");
    in.Stoimost = QStringLiteral("00150,00 р.");
    in.stoimlitr = QStringLiteral("45,67 р.");
    const PreparedRequest r = prepareRequest(request, in);
    QCOMPARE(r.refusal, QString());
    if (!text.isEmpty())
        QCOMPARE(r.text, text);
    QCOMPARE(framesOf(r.text), frames);
    QCOMPARE(int(r.expectCmd), expectCmd);
    QCOMPARE(int(r.expectSub), expectSub);
}

void TestDispenserProtocol::inputsCheckedBeforeSending_data()
{
    QTest::addColumn<DispenserRequest>("request");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("field"); // the text of the field the request cuts its digits from
    QTest::addColumn<QString>("text");  // empty: refused
    QTest::addColumn<QString>("refusal");

    using R = DispenserRequest;
    const QString badAddress = QStringLiteral("не адрес контроллера");
    const QString badField = QStringLiteral("не в формате");
    QTest::newRow("one digit is padded") << R::Status << "1" << "" << "60 01 81 *" << "";
    QTest::newRow("lower case") << R::Status << "7f" << "" << "60 7F 81 *" << "";
    QTest::newRow("empty address") << R::Status << "" << "" << "" << badAddress;
    QTest::newRow("not hex") << R::Version << "G1" << "" << "" << badAddress;
    QTest::newRow("blank") << R::TotaliserRead << " " << "" << "" << badAddress;
    QTest::newRow("volume with a short fraction") << R::DispenseVolume << "01" << "12,5" << "" << badField;
    QTest::newRow("volume of letters") << R::DispenseVolume << "01" << "ZZZZZZ,ZZZ" << "" << badField;
    QTest::newRow("volume of 200 nines") << R::DispenseVolume << "01" << QString(200, u'9') << "" << badField;
    QTest::newRow("money without suffix") << R::DispenseMoney << "01" << "00150,00" << "" << badField;
    QTest::newRow("price with a point") << R::PriceWrite << "01" << "45.67 р." << "" << badField;
    QTest::newRow("price in shape") << R::PriceWrite << "01" << "45,67 р." << "60 01 51* 01 00 00 45 67 00 00 *" << "";
}

void TestDispenserProtocol::inputsCheckedBeforeSending()
{
    QFETCH(DispenserRequest, request);
    QFETCH(QString, address);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, refusal);

    RequestInputs in;
    in.address = address;
    in.hose = QStringLiteral("1");
    in.litri = in.Stoimost = in.stoimlitr = field;
    const PreparedRequest r = prepareRequest(request, in);
    QCOMPARE(r.text, text);
    if (refusal.isEmpty())
        QCOMPARE(r.refusal, QString());
    else
        QVERIFY2(r.refusal.contains(refusal) && r.refusal.contains(QStringLiteral("не отправлен")), qPrintable(r.refusal));
}

void TestDispenserProtocol::hoseCheckedBeforeSending_data()
{
    QTest::addColumn<DispenserRequest>("request");
    QTest::addColumn<QString>("hose");
    QTest::addColumn<QString>("text"); // empty: refused as not a hex digit

    using R = DispenserRequest;
    QTest::newRow("price write, emptied box") << R::PriceWrite << "" << "";
    QTest::newRow("volume, emptied box") << R::DispenseVolume << "" << "";
    QTest::newRow("status, letter") << R::Status << "Z" << "";
    QTest::newRow("activate, Cyrillic") << R::Activate << "Ф" << "";
    QTest::newRow("status, hex digit beyond 7 goes out") << R::Status << "8" << "60 01 88 *";
    QTest::newRow("version has no hose") << R::Version << "" << "60 01 00 * 30";
}

void TestDispenserProtocol::hoseCheckedBeforeSending()
{
    QFETCH(DispenserRequest, request);
    QFETCH(QString, hose);
    QFETCH(QString, text);

    RequestInputs in;
    in.address = QStringLiteral("01");
    in.hose = hose;
    in.litri = QStringLiteral("000012,340");
    in.Stoimost = QStringLiteral("00150,00 р.");
    in.stoimlitr = QStringLiteral("90,00 р.");
    const PreparedRequest r = prepareRequest(request, in);
    QCOMPARE(r.text, text);
    QCOMPARE(r.refusal, text.isEmpty() ? hoseNotDigitLine(hose) : QString());
}

void TestDispenserProtocol::replies_data()
{
    QTest::addColumn<int>("expectCmd");
    QTest::addColumn<int>("expectSub");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("slow");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("fields"); // status: data, code; price; totalisers: three
    QTest::addColumn<int>("followUp");
    QTest::addColumn<int>("window");         // -1: unchanged

    const auto row = [](const char* name, int cmd, int sub, const char* hex, bool slow, QStringList lines,
                        QStringList fields, FollowUp f, int window) {
        QTest::newRow(name) << cmd << sub << QByteArray::fromHex(hex) << slow << lines << fields << int(f) << window;
    };
    const QString line = QStringLiteral("PC<- (T) ");

    row("16 bytes after a status request", 0x80, 0, "010001234567001234560098765400" "2C", false,
        {line + " 01 00 01 23 45 67 00 12 34 56 00 98 76 54 00 2C"}, {}, FollowUp::None, -1);
    row("8 bytes after a totaliser read", 0x71, 0, "01810012345607C8", false,
        {line + " 01 81 00 12 34 56 07 C8"}, {}, FollowUp::ReadPrice, -1);
    row("8 bytes after a price write", 0x51, 0, "0159004567000046", false, {line + " 01 59 00 45 67 00 00 46"},
        {}, FollowUp::None, -1);
    row("bad checksum", 0x80, 0, "0102030405", false, {line + " 01 02 03 04 05 CSM ERROR 5"}, {}, FollowUp::None, -1);
    row("bad checksum after a totaliser read", 0x71, 0, "01810012345607C9", false,
        {line + " 01 81 00 12 34 56 07 C9 CSM ERROR 8"}, {}, FollowUp::None, -1);
    row("done", 0x10, 0x13, "00", false, {"PC<- (T)  00 Успешно"}, {}, FollowUp::None, -1);
    row("reset done", 0x79, 0, "00", false, {"PC<- (T)  00 Успешно"}, {}, FollowUp::ReadTotalisers, -1);
    row("reset hose 7 done", 0x7F, 0, "00", false, {"PC<- (T)  00 Успешно"}, {}, FollowUp::ReadTotalisers, -1);
    row("reset no resources", 0x79, 0, "FE", false, {"PC<- (T)  FE Нет ресурсов"}, {}, FollowUp::None, -1);
    row("rejected", 0x79, 0, "FF", false, {"PC<- (T)  FF Отвергнуто"}, {}, FollowUp::None, -1);
    row("05", 0x10, 0x01, "05", false, {"PC<- (T)  05"}, {}, FollowUp::None, -1);
    row("other code", 0x80, 0, "07", false, {"PC<- (T) 07"}, {}, FollowUp::None, -1);
    row("time-out", 0x80, 0, "", false, {"TimeOut"}, {}, FollowUp::None, -1);
    row("version, first byte", 0x00, 0x30, "06", false, {"PC<- (T)  06"}, {}, FollowUp::ContinueVersion, 5000);
    row("version text", 0x00, 0x30, "82A5E0E1A8EF0D0A" "55", false, {"Версия"}, {}, FollowUp::None, 200);
    row("version text slow", 0x00, 0x30, "82A5E0E1A8EF0D0A" "55", true, {"Версия"}, {}, FollowUp::None, 2000);
    row("version text, no line end", 0x00, 0x30, "4142" "43", false, {}, {}, FollowUp::None, 200);
}

void TestDispenserProtocol::replies()
{
    QFETCH(int, expectCmd);
    QFETCH(int, expectSub);
    QFETCH(QByteArray, reply);
    QFETCH(bool, slow);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, fields);
    QFETCH(int, followUp);
    QFETCH(int, window);

    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(reply.constData()), std::size_t(reply.size()));
    const DispenserReply r = decodeDispenserReply(
        bytes, {std::uint8_t(expectCmd), std::uint8_t(expectSub)}, QStringLiteral("T"), slow);
    QCOMPARE(r.lines, lines);
    QCOMPARE(int(r.followUp), followUp);
    // Only the price read goes out before the line of the reply that caused it.
    QCOMPARE(r.followUpBeforeLines, r.followUp == FollowUp::ReadPrice);
    QCOMPARE(r.replyWindowMs.value_or(-1), window);

    QStringList shown;
    if (r.status)
        shown << r.status->Danstat << r.status->StatSost;
    if (r.pricePerLitre)
        shown << *r.pricePerLitre;
    if (r.totalisers)
        shown << r.totalisers->NeflitrSum << r.totalisers->flitrSum << r.totalisers->NefDenSum;
    QCOMPARE(shown, fields);
}

void TestDispenserProtocol::versionText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("Cyrillic") << QByteArray::fromHex("82A5E0E1A8EF0D0A") << QStringList{"Версия"};
    QTest::newRow("yo") << QByteArray::fromHex("F0F10A") << QStringList{"Ёё"};
    // The double frame turns to ASCII strokes; its single-line cousins keep their look.
    QTest::newRow("frame") << QByteArray::fromHex("C9CDCDBB0D0ABA2041BA0D0AC8CDBC0AC4B3DA0A")
                           << QStringList{"---╗", "| A|", "--╝", "─│┌"};
    QTest::newRow("leading blanks and controls") << QByteArray::fromHex("2020090141200A") << QStringList{"A "};
    QTest::newRow("CR inside a line") << QByteArray::fromHex("410D420A") << QStringList{"AB"};
    QTest::newRow("empty lines") << QByteArray::fromHex("0A0D0A") << QStringList{"", ""};
    QTest::newRow("rest after the last LF") << QByteArray::fromHex("410A4243") << QStringList{"A"};
}

void TestDispenserProtocol::versionText()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, lines);
    QCOMPARE(versionTextLines(std::span(reinterpret_cast<const std::uint8_t*>(text.constData()),
                                        std::size_t(text.size()))),
             lines);
}

void TestDispenserProtocol::fieldKeys_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("start"); // empty: the reset text
    QTest::addColumn<QString>("keys");  // \b Backspace, \x7f Delete
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("price digits") << "stoimlitr" << QString() << "45678"
                                  << QStringList{"00,04 р.", "00,45 р.", "04,56 р.", "45,67 р.", "56,78 р."};
    QTest::newRow("volume digits") << "litri" << QString() << "1234"
                                   << QStringList{"000000,010", "000000,120", "000001,230", "000012,340"};
    QTest::newRow("volume nine digits") << "litri" << QString() << "123456789"
                                        << QStringList{"000000,010", "000000,120", "000001,230", "000012,340",
                                                       "000123,450", "001234,560", "012345,670", "123456,780",
                                                       "234567,890"};
    QTest::newRow("money digits") << "Stoimost" << QString() << "15000"
                                  << QStringList{"00000,01 р.", "00000,15 р.", "00001,50 р.", "00015,00 р.",
                                                 "00150,00 р."};
    QTest::newRow("volume third decimal cleared") << "litri" << "000012,345" << "6" << QStringList{"000123,460"};
    QTest::newRow("price from a reply") << "stoimlitr" << "4A,FF р." << "1" << QStringList{"AF,F1 р."};
    QTest::newRow("price backspace") << "stoimlitr" << "12,34 р." << "\b" << QStringList{"00,00 р."};
    QTest::newRow("volume delete") << "litri" << "000012,340" << "\x7f" << QStringList{"000000,000"};
    QTest::newRow("money backspace then digit") << "Stoimost" << "00150,00 р." << "\b7"
                                                << QStringList{"00000,00 р.", "00000,07 р."};
    QTest::newRow("money delete") << "Stoimost" << "12345,67 р." << "\x7f" << QStringList{"00000,00 р."};
    for (const char* field : {"stoimlitr", "litri", "Stoimost"}) {
        const QString keys = QStringLiteral("aZфЯё,. -/+!");
        QStringList unchanged;
        for (int i = 0; i < keys.size(); ++i)
            unchanged << QString();
        QTest::newRow(qPrintable(QStringLiteral("%1 ignores letters and signs").arg(field)))
            << field << QString() << keys << unchanged;
    }
}

void TestDispenserProtocol::fieldKeys()
{
    QFETCH(QString, field);
    QFETCH(QString, start);
    QFETCH(QString, keys);
    QFETCH(QStringList, texts);

    QWidget client;
    DispenserPanel panel(&client);
    auto* edit = client.findChild<QLineEdit*>(field);
    QVERIFY(edit);
    const QString before = edit->text();
    if (!start.isEmpty())
        edit->setText(start);
    edit->setCursorPosition(2); // typing does not depend on the caret
    for (int i = 0; i < keys.size(); ++i) {
        const QChar c = keys.at(i);
        if (c == u'\b')
            QTest::keyClick(edit, Qt::Key_Backspace);
        else if (c == u'\x7f')
            QTest::keyClick(edit, Qt::Key_Delete);
        else if (c == u' ')
            QTest::keyClick(edit, Qt::Key_Space);
        else if (c.unicode() < 0x80)
            QTest::keyClick(edit, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QCOMPARE(edit->text(), texts.at(i).isEmpty() ? before : texts.at(i));
    }
}

void TestDispenserProtocol::fieldRefusesPastedText()
{
    QWidget client;
    DispenserPanel panel(&client);
    for (QLineEdit* edit : {panel.litri, panel.Stoimost, panel.stoimlitr}) {
        const QString before = edit->text();
        QApplication::clipboard()->setText(QStringLiteral("12"));
        edit->setCursorPosition(1);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), before);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(edit->text(), before);
    }
}

// What a listener on the line is told of the dispenser's frames (the monitor shows it
// after each frame's bytes): requests named by the mode's own request texts, replies read
// against the request before them.
void TestDispenserProtocol::heardFrames_data()
{
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QStringList>("described");
    QTest::newRow("a code the controller lacks") << QStringList{"A 60 01 F1 *"} << QStringList{"неизвестный запрос: код F1, 4 байт"};
    QTest::newRow("a data frame with a bad checksum")
        << QStringList{"A 60 01 11 * 01 13 55 55 55 55 55 00"} << QStringList{"данные: неверная контрольная сумма: 00 вместо 11"};
    QTest::newRow("totalisers")
        << QStringList{"A 60 01 71 *", "B 01 00 01 23 45 67 00 12 34 56 00 98 76 54 00 *"}
        << QStringList{"считать суммарники, адрес 01, рукав 1",
                       "суммарники: фискальный литровый 00012345,67, нефискальный литровый 001234,56, нефискальный денежный "
                       "009876,54, CSM верна"};
    QTest::newRow("the version")
        << QStringList{"A 60 01 00 * 30", "B 06", "A 31", "B 82 A5 E0 E1 A8 EF 0D 0A 00"}
        << QStringList{"версия, адрес 01", "версия: первый ответ 06", "версия: продолжить (31)", "текст версии: Версия"};
}

void TestDispenserProtocol::heardFrames()
{
    QFETCH(QStringList, frames);
    QFETCH(QStringList, described);
    const std::unique_ptr<linecapture::FrameDecoder> decoder = makeDispenserDecoder();
    QCOMPARE(qldixw::testing::heardFrames(*decoder, frames), described);
}

QTEST_MAIN(TestDispenserProtocol)
#include "test_dispenserprotocol.moc"
