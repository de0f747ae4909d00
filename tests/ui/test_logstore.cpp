// The line store alone: where lines end, and that every line comes back as it went in,
// across the chunk boundaries and through each way of reading it.

#include "logstore.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Lines of varied length, enough to fill several chunks.
QStringList manyLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("строка %1 ").arg(i) + QString(i % 97, QChar(u'A' + i % 26));
    return lines;
}

} // namespace

class TestLogStore : public QObject {
    Q_OBJECT
private slots:
    void linesComeBackAsAppended_data();
    void linesComeBackAsAppended();
};

void TestLogStore::linesComeBackAsAppended_data()
{
    QTest::addColumn<QStringList>("appends");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("one line each") << QStringList{"a", "b"} << QStringList{"a", "b"};
    QTest::newRow("LF") << QStringList{"a\nb"} << QStringList{"a", "b"};
    QTest::newRow("lone CR") << QStringList{"a\rb"} << QStringList{"a", "b"};
    QTest::newRow("CR LF is one end") << QStringList{"a\r\nb"} << QStringList{"a", "b"};
    QTest::newRow("LF CR is two ends") << QStringList{"a\n\rb"} << QStringList{"a", "", "b"};
    QTest::newRow("end at the end") << QStringList{"a\r\n"} << QStringList{"a", ""};
    QTest::newRow("ends only") << QStringList{"\r\n\r\n\n\r"} << QStringList{"", "", "", "", ""};
    QTest::newRow("empty lines kept") << QStringList{"", "", "x", ""} << QStringList{"", "", "x", ""};
    QTest::newRow("Cyrillic") << QStringList{"Привет, мир", "ЭРК-2\r\nЁё"} << QStringList{"Привет, мир", "ЭРК-2", "Ёё"};
    QTest::newRow("no-break space, pair, lone surrogate")
        << QStringList{QStringLiteral("x\u00A0y \U0001F600"), QString(QChar(0xD83D)), "z"}
        << QStringList{QStringLiteral("x\u00A0y \U0001F600"), QString(QChar(0xFFFD)), "z"};
    const QString longLine = QString(70000, u'Ж') + QStringLiteral("end");
    QTest::newRow("line longer than a chunk") << QStringList{"before", longLine, "after"}
                                              << QStringList{"before", longLine, "after"};
    const QStringList many = manyLines(40000);
    QTest::newRow("many chunks") << many << many;
}

void TestLogStore::linesComeBackAsAppended()
{
    QFETCH(QStringList, appends);
    QFETCH(QStringList, expected);

    ui::LogStore store;
    QSignalSpy appended(&store, &ui::LogStore::linesAppended);
    qsizetype announced = 0;
    for (const QString& text : appends) {
        const quint64 revision = store.revision();
        store.append(text);
        QVERIFY(store.revision() > revision);
        QCOMPARE(appended.last().at(0).value<qsizetype>(), announced);
        announced += appended.last().at(1).value<qsizetype>();
    }
    QCOMPARE(announced, expected.size());

    QCOMPARE(store.lineCount(), expected.size());
    QCOMPARE(store.lines(), expected); // read chunk by chunk
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (store.line(i) != expected[i] || store.lineUtf8(i) != expected[i].toUtf8())
            QFAIL(qPrintable(QStringLiteral("line %1 differs").arg(i)));
    }
    QVERIFY(store.lineUtf8(expected.size()).isEmpty());

    qsizetype longest = 0;
    for (qsizetype i = 1; i < expected.size(); ++i)
        longest = expected[i].size() > expected[longest].size() ? i : longest;
    QCOMPARE(store.longestLine(), longest);

    // Replacing gives the same lines, and says so once.
    QSignalSpy reset(&store, &ui::LogStore::linesReset);
    store.setLines(appends);
    QCOMPARE(reset.size(), 1);
    QCOMPARE(store.lines(), expected);

    store.clear();
    QCOMPARE(store.lineCount(), 0);
    QCOMPARE(store.longestLine(), -1);
    store.append(QStringLiteral("после"));
    QCOMPARE(store.lines(), QStringList{"после"});
}

QTEST_GUILESS_MAIN(TestLogStore)
#include "test_logstore.moc"
