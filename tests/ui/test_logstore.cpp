// The line store alone: where lines end, and that every line comes back as it went in,
// across the chunk boundaries and through each way of reading it; and that the text
// offsets assistive technology uses agree with the lines joined by "\n", while lines
// keep arriving.

#include "logstore.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace {

// Lines of varied length, enough to fill several chunks.
QStringList manyLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("строка %1 ").arg(i) + QString(i % 97, QChar(u'A' + i % 26));
    return lines;
}

// Every offset question against the lines joined by "\n": each line's start, and the line
// found from its start, its middle and its "\n" (a sample of the lines when there are many).
void checkOffsets(const ui::LogStore& store, const QStringList& expected)
{
    const QString joined = expected.join(u'\n');
    QCOMPARE(store.utf16Size(), joined.size());
    const qsizetype step = std::max<qsizetype>(1, expected.size() / 400);
    qsizetype start = 0;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const qsizetype length = expected[i].size();
        if (i % step == 0 || i + 1 == expected.size()) {
            if (store.utf16OffsetOfLine(i) != start)
                QFAIL(qPrintable(QStringLiteral("line %1 starts at %2, not %3").arg(i).arg(store.utf16OffsetOfLine(i)).arg(start)));
            for (const qsizetype offset : {start, start + length / 2, start + length}) {
                if (store.lineAtUtf16Offset(offset) != i)
                    QFAIL(qPrintable(QStringLiteral("offset %1 is in line %2, not %3").arg(offset).arg(store.lineAtUtf16Offset(offset)).arg(i)));
            }
        }
        start += length + 1;
    }
    QCOMPARE(store.utf16OffsetOfLine(expected.size()), joined.size());
    QCOMPARE(store.lineAtUtf16Offset(joined.size() + 10), expected.size() - 1);
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
    qsizetype joinedSize = -1;
    for (const QString& text : appends) {
        const quint64 revision = store.revision();
        store.append(text);
        QVERIFY(store.revision() > revision);
        QCOMPARE(appended.last().at(0).value<qsizetype>(), announced);
        for (qsizetype i = announced; i < announced + appended.last().at(1).value<qsizetype>(); ++i)
            joinedSize += expected[i].size() + 1;
        announced += appended.last().at(1).value<qsizetype>();
        // Counted afresh only for what was added since the last question.
        QCOMPARE(store.utf16Size(), joinedSize);
    }
    QCOMPARE(announced, expected.size());
    checkOffsets(store, expected);

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
    checkOffsets(store, expected);

    // Taken over whole, as a loaded log is: the lines, their longest and their offsets go
    // along, each side says so once, and nothing stays behind.
    ui::LogStore taker;
    taker.append(QStringLiteral("old"));
    QCOMPARE(taker.utf16Size(), 3); // counted, so stale counts would show
    QSignalSpy takerReset(&taker, &ui::LogStore::linesReset);
    taker.takeLines(store);
    QCOMPARE(takerReset.size(), 1);
    QCOMPARE(reset.size(), 2);
    QCOMPARE(taker.lines(), expected);
    QCOMPARE(taker.longestLine(), longest);
    checkOffsets(taker, expected);
    QCOMPARE(store.lineCount(), 0);
    QCOMPARE(store.utf16Size(), 0);
    store.takeLines(taker);

    store.clear();
    QCOMPARE(store.lineCount(), 0);
    QCOMPARE(store.longestLine(), -1);
    QCOMPARE(store.utf16Size(), 0);
    QCOMPARE(store.lineAtUtf16Offset(0), -1);
    store.append(QStringLiteral("после"));
    QCOMPARE(store.lines(), QStringList{"после"});
    QCOMPARE(store.utf16Size(), 5);
    QCOMPARE(store.lineAtUtf16Offset(5), 0);
}

QTEST_GUILESS_MAIN(TestLogStore)
#include "test_logstore.moc"
