#include "codepage.h"

#include <QSet>
#include <QStringDecoder>
#include <QTest>

using transport::CodePage;

Q_DECLARE_METATYPE(transport::CodePage)

class TestCodePage : public QObject {
    Q_OBJECT
private slots:
    void everyByteRoundTrips_data();
    void everyByteRoundTrips();
    void knownCharacters_data();
    void knownCharacters();
    void unmappableBecomesQuestionMark_data();
    void unmappableBecomesQuestionMark();
    void agreesWithTheSystemConverter_data();
    void agreesWithTheSystemConverter();
};

namespace {
void pages()
{
    QTest::addColumn<CodePage>("page");
    QTest::addColumn<QByteArray>("systemName");
    QTest::newRow("1251") << CodePage::Windows1251 << QByteArray("windows-1251");
    QTest::newRow("866") << CodePage::Cp866 << QByteArray("IBM866");
}
} // namespace

void TestCodePage::everyByteRoundTrips_data() { pages(); }

// A log file of any bytes loads and saves back unchanged: every byte has a character of
// its own, and that character has that byte.
void TestCodePage::everyByteRoundTrips()
{
    QFETCH(CodePage, page);
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = transport::decoded(page, all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(QSet<QChar>(text.begin(), text.end()).size(), 256);
    qsizetype substituted = 0;
    QByteArray back;
    transport::appendEncoded(page, text, back, substituted);
    QCOMPARE(substituted, 0);
    QCOMPARE(back, all);
    // A piece cut anywhere decodes alone.
    QString pieces;
    transport::appendDecoded(page, QByteArrayView(all).first(131), pieces);
    transport::appendDecoded(page, QByteArrayView(all).sliced(131), pieces);
    QCOMPARE(pieces, text);
}

void TestCodePage::knownCharacters_data()
{
    QTest::addColumn<CodePage>("page");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("1251 alphabet ends") << CodePage::Windows1251 << QStringLiteral("АЯаяЁё") << QByteArray("\xC0\xDF\xE0\xFF\xA8\xB8");
    QTest::newRow("1251 the keyboard table's BA..BF") << CodePage::Windows1251 << QStringLiteral("є»јЅѕї")
                                                      << QByteArray("\xBA\xBB\xBC\xBD\xBE\xBF");
    QTest::newRow("1251 signs") << CodePage::Windows1251 << QStringLiteral("№€—«»") << QByteArray("\xB9\x88\x97\xAB\xBB");
    QTest::newRow("1251 the unassigned byte") << CodePage::Windows1251 << QString(QChar(0x98)) << QByteArray("\x98");
    QTest::newRow("866 alphabet") << CodePage::Cp866 << QStringLiteral("АЯапряЁё") << QByteArray("\x80\x9F\xA0\xAF\xE0\xEF\xF0\xF1");
    QTest::newRow("866 box lines") << CodePage::Cp866 << QStringLiteral("═║╔╗╚╝") << QByteArray("\xCD\xBA\xC9\xBB\xC8\xBC");
    QTest::newRow("ASCII and controls") << CodePage::Cp866 << QStringLiteral("A1\x1A\x1C\x7F\r\n") << QByteArray("A1\x1A\x1C\x7F\r\n");
}

void TestCodePage::knownCharacters()
{
    QFETCH(CodePage, page);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(transport::encoded(page, text), bytes);
    QCOMPARE(transport::decoded(page, bytes), text);
}

void TestCodePage::unmappableBecomesQuestionMark_data()
{
    QTest::addColumn<CodePage>("page");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("substituted");
    QTest::newRow("Greek in 1251") << CodePage::Windows1251 << QStringLiteral("αβ x") << QByteArray("?? x") << 2;
    QTest::newRow("box line in 1251") << CodePage::Windows1251 << QStringLiteral("║") << QByteArray("?") << 1;
    QTest::newRow("euro sign in 866") << CodePage::Cp866 << QStringLiteral("5€") << QByteArray("5?") << 1;
    QTest::newRow("a surrogate pair is one character") << CodePage::Windows1251 << QStringLiteral("я😀я")
                                                       << QByteArray("\xFF?\xFF") << 1;
    QTest::newRow("a lone surrogate") << CodePage::Windows1251 << (QString(QChar(0xD800)) + u'z') << QByteArray("?z") << 1;
    QTest::newRow("a lone low surrogate last") << CodePage::Cp866 << (u'z' + QString(QChar(0xDC00))) << QByteArray("z?") << 1;
}

void TestCodePage::unmappableBecomesQuestionMark()
{
    QFETCH(CodePage, page);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(int, substituted);
    QByteArray out("before ");
    qsizetype count = 0;
    transport::appendEncoded(page, text, out, count);
    QCOMPARE(out, QByteArray("before ") + bytes);
    QCOMPARE(count, qsizetype(substituted));
}

void TestCodePage::agreesWithTheSystemConverter_data() { pages(); }

// Where Qt has a converter of its own for the page (its ICU backend on Linux; Qt for
// Windows is built without one), the tables read every byte as it does, but for the
// three controls that ICU's 866 swaps (1A, 1C, 7F), which the console keeps as ASCII.
void TestCodePage::agreesWithTheSystemConverter()
{
    QFETCH(CodePage, page);
    QFETCH(QByteArray, systemName);
    QStringDecoder system(systemName.constData());
    if (!system.isValid())
        QSKIP("Qt has no converter of its own for this code page here");
    for (int b = 0; b < 256; ++b) {
        if (page == CodePage::Cp866 && (b == 0x1A || b == 0x1C || b == 0x7F))
            continue;
        const char byte = char(b);
        QStringDecoder one(systemName.constData());
        const QString expected = one.decode(QByteArrayView(&byte, 1));
        QCOMPARE(transport::decoded(page, QByteArrayView(&byte, 1)), expected);
    }
}

QTEST_APPLESS_MAIN(TestCodePage)

#include "test_codepage.moc"
