// The log file format: pane lines to Windows-1251 bytes with CR LF and back, whole or
// cut into pieces anywhere.

#include "logfile.h"
#include "logstore.h"

#include <QTest>

#include <type_traits>

using ui::decodeLog;
using ui::encodeLog;

namespace {

QByteArray bytes(const char* text)
{
    return QByteArray(text);
}

// Decodes the bytes cut into two pieces at `cut`, into a list or into a store.
template <typename Lines>
QStringList decodedInTwoPieces(const QByteArray& file, qsizetype cut)
{
    ui::LogDecoder decoder;
    Lines lines;
    decoder.feed(QByteArrayView(file).first(cut), lines);
    decoder.feed(QByteArrayView(file).sliced(cut), lines);
    decoder.finish(lines);
    if constexpr (std::is_same_v<Lines, QStringList>)
        return lines;
    else
        return lines.lines();
}

} // namespace

class TestLogFile : public QObject {
    Q_OBJECT
private slots:
    void writtenBytes_data();
    void writtenBytes();
    void lineEnds_data();
    void lineEnds();
};

void TestLogFile::writtenBytes_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("substituted");

    QTest::newRow("empty log, empty file") << QStringList() << QByteArray() << 0;
    QTest::newRow("one empty line") << QStringList{QString()} << bytes("\r\n") << 0;
    QTest::newRow("console lines")
        << QStringList{QStringLiteral("PC-> (07.12.2024 10:00:01)  60 01 81 FB"),
                       QStringLiteral("PC<- (07.12.2024 10:00:01)  E0 01 80 00 22")}
        << bytes("PC-> (07.12.2024 10:00:01)  60 01 81 FB\r\nPC<- (07.12.2024 10:00:01)  E0 01 80 00 22\r\n") << 0;
    QTest::newRow("cyrillic and empty lines")
        << QStringList{QStringLiteral("Привет"), QString(), QString(), QStringLiteral("Ёж ё №")}
        << bytes("\xCF\xF0\xE8\xE2\xE5\xF2\r\n\r\n\r\n\xA8\xE6 \xB8 \xB9\r\n") << 0;
    QTest::newRow("trailing empty line kept") << QStringList{QStringLiteral("a"), QString()} << bytes("a\r\n\r\n") << 0;
    // The code page's own punctuation, not a "?".
    QTest::newRow("euro and dashes") << QStringList{QStringLiteral("€ – — «»")}
                                     << bytes("\x88 \x96 \x97 \xAB\xBB\r\n") << 0;
    // A version text with box drawing, an emoji (one character in two UTF-16 units),
    // a CJK character: each is one "?", the rest of the line is kept.
    QTest::newRow("characters the code page lacks")
        << QStringList{QStringLiteral("╔ZENT╗ v1"), QStringLiteral("a😀b"), QStringLiteral("水")}
        << bytes("?ZENT? v1\r\na?b\r\n?\r\n") << 4;
    // The control character SUB is the converter's own substitute: a real one is kept.
    QTest::newRow("a real SUB character stays") << QStringList{QStringLiteral("x\x1Ay")} << bytes("x\x1Ay\r\n") << 0;
}

// The bytes written are exactly the format's, and read back they give the lines again
// (where every character fits the code page).
void TestLogFile::writtenBytes()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, file);
    QFETCH(int, substituted);

    qsizetype count = -1;
    QCOMPARE(encodeLog(lines, &count), file);
    QCOMPARE(count, qsizetype(substituted));

    // The encoder carries no state from one line to the next: each line alone gives
    // the same bytes as all together.
    ui::LogEncoder encoder;
    QByteArray oneByOne;
    for (const QString& line : lines)
        encoder.append(line, oneByOne);
    QCOMPARE(oneByOne, file);

    if (substituted == 0)
        QCOMPARE(decodeLog(file), lines);
}

void TestLogFile::lineEnds_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("no line end at the end") << bytes("abc") << QStringList{QStringLiteral("abc")};
    QTest::newRow("CR LF") << bytes("a\r\nb\r\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("LF") << bytes("a\nb\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("CR") << bytes("a\rb\r") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("mixed") << bytes("a\r\nb\nc\rd")
                           << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")};
    // LF then CR are two line ends; CR CR LF too.
    QTest::newRow("LF CR") << bytes("a\n\rb") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("CR CR LF") << bytes("a\r\r\nb") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("only line ends") << bytes("\r\n\n\r") << QStringList{QString(), QString(), QString()};
    QTest::newRow("cyrillic, mixed ends")
        << bytes("\xCF\xD3\xD1\xCA\r\xF1\xF2\xEE\xEF\n\n\xC0")
        << QStringList{QStringLiteral("ПУСК"), QStringLiteral("стоп"), QString(), QStringLiteral("А")};
    QTest::newRow("cyrillic, every end, empty lines between")
        << bytes("\xA8\xB8\r\n\r\n\xB9 1\r\r\xC6\n\n\xDF\r\n")
        << QStringList{QStringLiteral("Ёё"), QString(), QStringLiteral("№ 1"), QString(), QStringLiteral("Ж"), QString(),
                       QStringLiteral("Я")};
    // The one byte the code page leaves undefined still becomes a character.
    QTest::newRow("undefined byte 0x98") << bytes("\x98\r\n") << QStringList{QStringLiteral("\u0098")};
}

// Every line end is recognised wherever the reading cuts the file, a cut between CR and
// LF included, and a log decoded straight into a pane's store has the same lines.
void TestLogFile::lineEnds()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);

    QCOMPARE(decodeLog(file), lines);
    for (qsizetype cut = 0; cut <= file.size(); ++cut) {
        QVERIFY2(decodedInTwoPieces<QStringList>(file, cut) == lines, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        QVERIFY2(decodedInTwoPieces<ui::LogStore>(file, cut) == lines,
                 qPrintable(QStringLiteral("into a store, cut at %1").arg(cut)));
    }
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "test_logfile.moc"
