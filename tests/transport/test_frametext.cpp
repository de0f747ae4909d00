#include "frametext.h"

#include <QDateTime>
#include <QLocale>
#include <QTest>

using namespace transport;

namespace {
QByteArray hex(const char* text) { return QByteArray::fromHex(text); }
} // namespace

class TestFrameText : public QObject {
    Q_OBJECT
private slots:
    void checksum_data();
    void checksum();
    void conversion_data();
    void conversion();
    void frameOfMaximumSize();
    void blankPieces_data();
    void blankPieces();
    void byteTextIsUpperCaseWithLeadingBlanks();
    void hexText6_data();
    void hexText6();
    void timeStampHasSecondsAndNoZone_data();
    void timeStampHasSecondsAndNoZone();
};

void TestFrameText::checksum_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");
    QTest::newRow("none") << QByteArray() << 0xFF;
    QTest::newRow("00") << hex("00") << 0xFF;
    QTest::newRow("FF") << hex("FF") << 0x00;
    QTest::newRow("abc") << QByteArray("abc") << 0xBB;
    QTest::newRow("status") << hex("600181") << 0xFB;
    QTest::newRow("control header") << hex("600111") << 0xDA;
    QTest::newRow("activate data") << hex("01135555555555") << 0x11;
    QTest::newRow("meter 45") << hex("60F045") << 0xB5;
    QTest::newRow("meter 35") << hex("600135") << 0x92;
}

void TestFrameText::checksum()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);
    QCOMPARE(int(frameChecksum(bytes)), expected);
}

void TestFrameText::conversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("withChecksum");
    QTest::newRow("status with blanks") << "60 01 81 *" << hex("600181FB") << true;
    QTest::newRow("status packed") << "600181*" << hex("600181FB") << true;
    QTest::newRow("odd blanks") << "6 0 0181" << hex("600181") << false;
    QTest::newRow("no star, no checksum") << "60 01 81" << hex("600181") << false;
    QTest::newRow("lone star") << "*" << hex("FF") << true;
    QTest::newRow("lone digit") << "5" << QByteArray() << false;
    QTest::newRow("lone digit star") << "5*" << hex("FF") << true;
    QTest::newRow("odd length") << "ABC" << hex("ABC0") << false;
    QTest::newRow("lower case odd") << "abc" << hex("ABC0") << false;
    QTest::newRow("lower case pairs") << "a0 0f" << hex("A00F") << false;
    QTest::newRow("ff star") << "ff*" << hex("FF00") << true;
    QTest::newRow("non-hex second") << "6G" << hex("60") << false;
    QTest::newRow("non-hex first") << "G6" << hex("06") << false;
    QTest::newRow("hash counts zero") << "#1 2#" << hex("0120") << false;
    QTest::newRow("tab is not a blank") << "6\t01" << hex("6001") << false;
    QTest::newRow("cyrillic is not a digit") << QString::fromUtf8("Ф1") << hex("01") << false;
    QTest::newRow("empty asks for checksum") << "" << hex("FF") << true;
    QTest::newRow("star inside is data") << "6*01" << hex("6001") << false;
}

void TestFrameText::conversion()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, withChecksum);
    const auto frame = frameTextToBytes(text);
    QVERIFY(frame.has_value());
    QCOMPARE(frame->bytes.toHex(' ').toUpper(), bytes.toHex(' ').toUpper());
    QCOMPARE(frame->withChecksum, withChecksum);
}

void TestFrameText::frameOfMaximumSize()
{
    const QString data1023 = QStringLiteral("12").repeated(1023);
    const auto full = frameTextToBytes(data1023 + u'*');
    QVERIFY(full.has_value());
    QCOMPARE(full->bytes.size(), kMaxFrameBytes);
    QCOMPARE(quint8(full->bytes.back()), frameChecksum(full->bytes.left(1023)));

    QVERIFY(frameTextToBytes(QStringLiteral("12").repeated(1024)).has_value());
    QVERIFY(!frameTextToBytes(QStringLiteral("12").repeated(1024) + u'*').has_value());
    QVERIFY(!frameTextToBytes(QStringLiteral("12").repeated(1024) + u'3').has_value());
}

void TestFrameText::blankPieces_data()
{
    QTest::addColumn<QString>("piece");
    QTest::addColumn<bool>("blank");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("blanks") << "   " << true;
    QTest::newRow("star") << " * " << false;
    QTest::newRow("digit") << " 5 " << false;
    QTest::newRow("tab") << "\t" << false;
}

void TestFrameText::blankPieces()
{
    QFETCH(QString, piece);
    QFETCH(bool, blank);
    QCOMPARE(isBlankFramePiece(piece), blank);
}

void TestFrameText::byteTextIsUpperCaseWithLeadingBlanks()
{
    QCOMPARE(byteText(hex("600181fb")), QStringLiteral(" 60 01 81 FB"));
    QCOMPARE(byteText(QByteArray()), QString());
    QCOMPARE(byteText(hex("00ff0a")), QStringLiteral(" 00 FF 0A"));
}

void TestFrameText::hexText6_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("79") << "79" << 0x79;
    QTest::newRow("7F") << "7F" << 0x7F;
    QTest::newRow("lower case is zero") << "abc" << 0;
    QTest::newRow("keeps last six") << "1234567" << 0x234567;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("max") << "FFFFFF" << 0xFFFFFF;
    QTest::newRow("mixed") << "1x2" << 0x102;
}

void TestFrameText::hexText6()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(hexText6ToInt(text), value);
}

void TestFrameText::timeStampHasSecondsAndNoZone_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ru") << "ru_RU" << "05.03.2026 07:08:09";
    QTest::newRow("de") << "de_DE" << "05.03.26 07:08:09";
}

void TestFrameText::timeStampHasSecondsAndNoZone()
{
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    const QDateTime when(QDate(2026, 3, 5), QTime(7, 8, 9));
    QCOMPARE(timeStampText(when, QLocale(locale)), expected);
}

QTEST_GUILESS_MAIN(TestFrameText)
#include "test_frametext.moc"
