// The script language without a line: reply patterns against bytes, every refusal of a
// bad script with its line, and runs of the machine fed replies as a device gives them.

#include "caseoutput.h"
#include "frametext.h"
#include "replypattern.h"
#include "runtexts.h"
#include "scriptparser.h"
#include "scriptrun.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <limits>
#include <numeric>

using namespace testscript;

namespace {

// Hex with "=" standing for the checksum of the bytes since the last "=" (or the start).
QByteArray bytes(const QString& hex)
{
    QByteArray out;
    qsizetype frameStart = 0;
    for (const QString& word : hex.split(u' ', Qt::SkipEmptyParts)) {
        if (word == u"=") {
            out.append(char(transport::frameChecksum(out.mid(frameStart))));
            frameStart = out.size();
        } else {
            out.append(QByteArray::fromHex(word.toLatin1()));
        }
    }
    return out;
}

std::span<const std::uint8_t> span(const QByteArray& b)
{
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())};
}

} // namespace

class TestScriptLanguage : public QObject {
    Q_OBJECT
private slots:
    void patterns_data();
    void patterns();
    void refusals_data();
    void refusals();
    void refusedFiles_data();
    void refusedFiles();
    void stepCounts_data();
    void stepCounts();
    void manyCases();
    void replayedCaptures_data();
    void replayedCaptures();
    void runs_data();
    void runs();
    void stopEndsTheRun();
    void longLoopsTakeTurns();
    void caseOutputIsBounded_data();
    void caseOutputIsBounded();
};

void TestScriptLanguage::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("reply"); // "=": a correct checksum
    QTest::addColumn<bool>("matches");
    QTest::addColumn<QString>("written"); // the pattern in its one form

    QTest::newRow("exact") << "01 80 00" << "01 80 00" << true << "01 80 00";
    QTest::newRow("pairs together, lower case") << "0180ff" << "01 80 FF" << true << "01 80 FF";
    QTest::newRow("exact, one byte more") << "01 80" << "01 80 00" << false << "01 80";
    QTest::newRow("exact, one byte less") << "01 80 00" << "01 80" << false << "01 80 00";
    QTest::newRow("any byte") << "01 ?? 00" << "01 7F 00" << true << "01 ?? 00";
    QTest::newRow("any byte is one byte") << "01 ?? 00" << "01 00" << false << "01 ?? 00";
    QTest::newRow("checksum") << "01 80 00 00 00 00 ?? *" << "01 80 00 00 00 00 04 =" << true
                              << "01 80 00 00 00 00 ?? *";
    QTest::newRow("wrong checksum") << "01 80 *" << "01 80 00" << false << "01 80 *";
    QTest::newRow("checksum of nothing") << "*" << "FF" << true << "*";
    QTest::newRow("two frames") << "60 01 * 00 *" << "60 01 = 00 =" << true << "60 01 * 00 *";
    QTest::newRow("second frame checked alone") << "60 01 * 00 *" << "60 01 = 00 DB" << false << "60 01 * 00 *";
    QTest::newRow("run at the end") << "C8 ..." << "C8 10 00" << true << "C8 ...";
    QTest::newRow("run may be empty") << "C8 ..." << "C8" << true << "C8 ...";
    QTest::newRow("run at the start") << "... 00" << "C8 10 00" << true << "... 00";
    QTest::newRow("run then checksum") << "01 ... *" << "01 22 33 44 =" << true << "01 ... *";
    QTest::newRow("run then wrong checksum") << "01 ... *" << "01 22 33 44 45" << false << "01 ... *";
    QTest::newRow("runs between frames") << "... * ... *" << "05 06 = 07 =" << true << "... * ... *";
    QTest::newRow("run must find its tail") << "... 00 00" << "00 01 00" << false << "... 00 00";
    QTest::newRow("two runs in a row are one") << "01 ... ... 02" << "01 02" << true << "01 ... 02";
    QTest::newRow("nothing against bytes") << "..." << "" << true << "...";
    QTest::newRow("byte against nothing") << "06" << "" << false << "06";
    QTest::newRow("second frame starts at an odd byte") << "01 02 * 03 04 05 *" << "01 02 = 03 04 05 =" << true
                                                        << "01 02 * 03 04 05 *";
    QTest::newRow("second frame at an odd byte, checked alone") << "01 02 * 03 04 05 *" << "01 02 = 03 04 05 00" << false
                                                                << "01 02 * 03 04 05 *";
    QTest::newRow("a run finds where its frame ends") << "01 ... * 07 ... *" << "01 02 03 = 07 04 =" << true
                                                      << "01 ... * 07 ... *";
    QTest::newRow("the checksum of a frame that began inside a run")
        << "01 ... * ..." << "01 02 03 = 44" << true << "01 ... * ...";
    // A whole reply window against as many "... *" pairs as a pattern may hold: every
    // frame start is a candidate for every pair.
    const QString pairs = QStringLiteral("... * ").repeated(2047).trimmed();
    QTest::newRow("2047 pairs, a reply of frames that fit")
        << pairs << QStringLiteral("00 = ").repeated(2047) << true << pairs;
    QTest::newRow("2047 pairs, a 4 KiB reply that never fits")
        << pairs << QStringLiteral("FF ").repeated(4095) + QStringLiteral("01") << false << pairs;
    // Many runs against a long reply that never fits: each state is tried once.
    QTest::newRow("runs without a fit, long reply") << "... 01 ... 01 ... 01 ... 01 ... 02"
                                                    << QString(QStringLiteral("01 ")).repeated(3000) << false
                                                    << "... 01 ... 01 ... 01 ... 01 ... 02";
}

void TestScriptLanguage::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, reply);
    QFETCH(bool, matches);
    QFETCH(QString, written);
    const PatternParse parsed = parseReplyPattern(pattern);
    QVERIFY2(parsed.pattern, qPrintable(parsed.error));
    QCOMPARE(patternMatches(*parsed.pattern, span(bytes(reply))), matches);
    QCOMPARE(patternText(*parsed.pattern), written);
}

void TestScriptLanguage::refusals_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("why"); // a part of the message

    const QString ok = QStringLiteral("send 60 01 81 *\n");
    QTest::newRow("unknown keyword") << ok + "# note\n\nsned 60 01 81 *" << 4 << "неизвестное слово «sned»";
    QTest::newRow("send without frame") << QStringLiteral("send\n") << 1 << "у send нет кадра";
    QTest::newRow("stray character in frame") << QStringLiteral("send 60 0G 81 *") << 1 << "символ «G»";
    QTest::newRow("odd digits") << QStringLiteral("send 60 01 8 *") << 1 << "нечётное число";
    QTest::newRow("odd digits in the last frame") << QStringLiteral("send 60 01 81 * 123") << 1 << "нечётное число";
    QTest::newRow("checksum of an empty frame") << QStringLiteral("send 60 01 81 * *") << 1 << "«*» без байтов";
    QTest::newRow("frame too long") << "send " + QString(QStringLiteral("00")).repeated(1024) + " *" << 1
                                    << "кадр длиннее 1024 байт";
    QTest::newRow("unknown placeholder") << QStringLiteral("send 60 {adr} 81 *") << 1 << "только подстановка {addr}";
    QTest::newRow("expect before send") << QStringLiteral("expect 01\nsend 60 01 81 *") << 1 << "expect без send";
    QTest::newRow("expect after the send of another case")
        << ok + "case two\nexpect 01 ..." << 3 << "expect без send";
    QTest::newRow("expect without pattern") << ok + "expect" << 2 << "нет образца";
    QTest::newRow("lone question mark") << ok + "expect 01 ?" << 2 << "«?» стоит без пары";
    QTest::newRow("two dots") << ok + "expect 01 .." << 2 << "тремя точками";
    QTest::newRow("half a byte") << ok + "expect 01 8" << 2 << "полбайта";
    QTest::newRow("bad character in pattern") << ok + "expect 01 xx" << 2 << "символ «x»";
    QTest::newRow("unknown placeholder in pattern") << ok + "expect {adr} 81" << 2 << "только подстановка {addr}";
    QTest::newRow("window 0") << QStringLiteral("window 0\n") + ok << 1 << "от 1 до 60000";
    QTest::newRow("window too long") << QStringLiteral("window 60001\n") + ok << 1 << "от 1 до 60000";
    QTest::newRow("window not a number") << QStringLiteral("window 20ms\n") + ok << 1 << "нужно число";
    QTest::newRow("wait negative") << ok + "wait -5" << 2 << "нужно число";
    QTest::newRow("early after wait") << ok + "wait 5 early" << 2 << "нужно число";
    QTest::newRow("window early without a number") << QStringLiteral("window early\n") + ok << 1 << "нужно число";
    QTest::newRow("window with another word") << QStringLiteral("window 100 soon\n") + ok << 1 << "может стоять early";
    QTest::newRow("within without a number") << ok + "expect 01 within" << 2 << "within «»";
    QTest::newRow("within zero") << ok + "expect 01 within 0" << 2 << "от 1 до 60000";
    QTest::newRow("within without a pattern") << ok + "expect within 20" << 2 << "нет образца";
    QTest::newRow("nothing within") << ok + "expect nothing within 20" << 2 << "expect nothing within";
    QTest::newRow("address not hex") << QStringLiteral("address G1\n") + ok << 1 << "address «G1»";
    QTest::newRow("address three digits") << QStringLiteral("address 123\n") + ok << 1 << "address «123»";
    QTest::newRow("repeat zero") << QStringLiteral("repeat 0\n") + ok + "end" << 1 << "repeat «0»";
    QTest::newRow("repeat too many") << QStringLiteral("repeat 1000001\n") + ok + "end" << 1 << "от 1 до 1000000";
    QTest::newRow("end without repeat") << ok + "end" << 2 << "end без repeat";
    QTest::newRow("end with a word") << QStringLiteral("repeat 2\n") + ok + "end now" << 3 << "после end";
    QTest::newRow("repeat without end") << ok + "repeat 2\n" + ok + ok << 2 << "repeat без end";
    QTest::newRow("case inside repeat") << QStringLiteral("repeat 2\n") + ok + "case x\nend" << 3
                                        << "case внутри repeat (строка 1)";
    QTest::newRow("case without name") << QStringLiteral("case\n") + ok << 1 << "у case нет имени";
    QTest::newRow("case twice") << QStringLiteral("case a\n") + ok + "case a\n" + ok << 3
                                << "case «a» уже есть (строка 1)";
    QTest::newRow("case without steps") << QStringLiteral("case a\ncase b\n") + ok << 1 << "case «a» без шагов";
    QTest::newRow("last case without steps") << ok + "case b\n# nothing" << 2 << "case «b» без шагов";
    QTest::newRow("nothing but comments") << QStringLiteral("# a\n\n# b\n") << 3 << "нет ни одного шага";
    QTest::newRow("too many steps") << QStringLiteral("repeat 1000000\nrepeat 1000000\n") + ok + "end\nend" << 1
                                    << "больше 10000000 шагов";
    QTest::newRow("a loop with no line step, named by its outer repeat")
        << QStringLiteral("send 00\nrepeat 999999\nrepeat 1000\nexpect nothing\nend\nend\n") << 2
        << "больше 10000000 шагов";
    QTest::newRow("loops of nothing") << QStringLiteral("send 00\nrepeat 1000000\nrepeat 1000000\nend\nend\n") << 2
                                      << "больше 10000000 шагов";
    const QString fourMillion = QStringLiteral("repeat 1000000\nsend 00\nsend 00\nsend 00\nend\n");
    QTest::newRow("the steps of all cases together")
        << "case a\n" + fourMillion + "case b\n" + fourMillion + "case c\n" + fourMillion << 14
        << "больше 10000000 шагов";
    QTest::newRow("nesting past 64") << QStringLiteral("repeat 1\n").repeated(65) + ok + QStringLiteral("end\n").repeated(65)
                                     << 65 << "repeat внутри 64 других repeat";
    // 3.25 MB, under the size a script may have: no recursion goes as deep as the file.
    QTest::newRow("250,000 nested repeats") << QStringLiteral("repeat 1\n").repeated(250'000) + ok
                                                   + QStringLiteral("end\n").repeated(250'000)
                                            << 65 << "глубже не вкладывается";
}

void TestScriptLanguage::refusals()
{
    QFETCH(QString, script);
    QFETCH(int, line);
    QFETCH(QString, why);
    const ScriptParse parsed = parseScript(script, QStringLiteral("file"));
    QVERIFY(!parsed.script);
    QVERIFY2(parsed.error.contains(why), qPrintable(parsed.error));
    QCOMPARE(parsed.errorLine, line);
    QCOMPARE(scriptErrorText(QStringLiteral("a.qlt"), parsed), QStringLiteral("a.qlt:%1: ").arg(line) + parsed.error);
}

void TestScriptLanguage::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("why");
    QTest::newRow("not UTF-8") << QByteArray("send 60 01 81 *\r\n# \xcf\xf0\xe8\r\nsend 60 01 81 *\r\n") << 2
                               << "UTF-8";
    QTest::newRow("a directory") << QByteArray() << 0 << "не файл";
}

void TestScriptLanguage::refusedFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(QString, why);
    QTemporaryDir dir;
    QString path = dir.path();
    if (!content.isEmpty()) {
        path = dir.filePath(QStringLiteral("s.qlt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const ScriptParse parsed = readScriptFile(path);
    QVERIFY(!parsed.script);
    QCOMPARE(parsed.errorLine, line);
    QVERIFY2(parsed.error.contains(why), qPrintable(parsed.error));
}

void TestScriptLanguage::stepCounts_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QList<qint64>>("cases"); // the steps of each case

    QTest::newRow("nested repeats") << QStringLiteral("repeat 3\nsend 00\nrepeat 2\nwait 1\nend\nend\nsend 00\n")
                                    << QList<qint64>{10};
    QTest::newRow("64 deep") << QStringLiteral("repeat 2\n") + QStringLiteral("repeat 1\n").repeated(63)
                                    + QStringLiteral("send 00\n") + QStringLiteral("end\n").repeated(64)
                             << QList<qint64>{2};
    QTest::newRow("a soak of a million exchanges, and cases beside it")
        << QStringLiteral("case soak\nrepeat 1000000\nsend 60 01 81 *\nexpect ... *\nend\ncase b\nsend 00\n"
                          "case c\nrepeat 2\nrepeat 3\nend\nsend 00\nend\n")
        << QList<qint64>{2'000'000, 1, 2};
    QTest::newRow("at the bound") << QStringLiteral("repeat 1000000\nsend 00\nsend 00\nsend 00\nsend 00\nend\n"
                                                     "repeat 1000000\nsend 00\nsend 00\nsend 00\nsend 00\nend\n")
                                  << QList<qint64>{8'000'000};
}

void TestScriptLanguage::stepCounts()
{
    QFETCH(QString, script);
    QFETCH(QList<qint64>, cases);
    const ScriptParse parsed = parseScript(script, QStringLiteral("file"));
    QVERIFY2(parsed.script, qPrintable(QStringLiteral("%1: %2").arg(parsed.errorLine).arg(parsed.error)));
    QList<qint64> counted;
    for (const ScriptCase& scriptCase : parsed.script->cases)
        counted << scriptCase.stepCount;
    QCOMPARE(counted, cases);
    QCOMPARE(parsed.script->stepCount, std::accumulate(cases.begin(), cases.end(), qint64(0)));
}

// Case names are looked up, not compared with every earlier one: 400,000 cases took
// hours that way, and a replayed capture is a case an exchange. Sixteen times the
// cases take about sixteen times as long when the parse is linear and 256 when it is
// quadratic; the shorter of three tries of each keeps a busy machine's pauses out.
void TestScriptLanguage::manyCases()
{
    const auto scriptOf = [](int cases) {
        QString text;
        for (int i = 0; i < cases; ++i)
            text += QStringLiteral("case %1\nsend 60 01 81 *\n").arg(i);
        return text + QStringLiteral("case 17\nsend 00\n");
    };
    const auto shortestParse = [](const QString& text, int cases) {
        qint64 shortest = std::numeric_limits<qint64>::max();
        for (int attempt = 0; attempt < 3; ++attempt) {
            QElapsedTimer clock;
            clock.start();
            const ScriptParse parsed = parseScript(text, QStringLiteral("file"));
            shortest = std::min(shortest, clock.nsecsElapsed());
            if (parsed.errorLine != 2 * cases + 1 ||
                !parsed.error.contains(QStringLiteral("case «17» уже есть (строка 35)")))
                return qint64(-1);
        }
        return shortest;
    };
    constexpr int kFew = 2'500;
    constexpr int kMany = 16 * kFew;
    const qint64 few = shortestParse(scriptOf(kFew), kFew);
    const qint64 many = shortestParse(scriptOf(kMany), kMany);
    QVERIFY2(few > 0 && many > 0, "the repeated case name was not refused at its line");
    QVERIFY2(many < 48 * few, qPrintable(QStringLiteral("%1 cases %2 ms, %3 cases %4 ms")
                                             .arg(kFew).arg(few / 1e6).arg(kMany).arg(many / 1e6)));
}

void TestScriptLanguage::replayedCaptures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line"); // of the refusal; 0: replayed
    QTest::addColumn<QString>("result"); // a part of the refusal, or each step's line and text

    const QByteArray head = "QLDIXw capture 1\nstart 2025-05-01T12:03:04.000000+03:00\nprotocol dix\ngap 3.5\n";
    const QByteArray exchanges = "1.000000 A 60 01 81 FB\n1.030000 B 01 81 00 12 34 56 07 C8\n2.000000 A 60 01 81 FB\n";
    const QString replayed = QStringLiteral("5 send 60 01 81 FB|6 expect 01 81 00 12 34 56 07 C8|7 send 60 01 81 FB|7 expect nothing");
    QTest::newRow("a capture under another name") << "capture.txt" << head + exchanges << 0 << replayed;
    QTest::newRow("a capture with a byte order mark and CR LF")
        << "capture.qlcap" << QByteArray("\xEF\xBB\xBF" + head + exchanges).replace("\n", "\r\n") << 0 << replayed;
    QTest::newRow("a script with a byte order mark") << "script.qlt" << QByteArray("\xEF\xBB\xBFsend 60 01 81 *\n") << 0
                                                     << "1 send 60 01 81 *";
    QTest::newRow("times that run backwards") << "capture.qlcap" << head + "2.000000 A 60 01 81 FB\n1.000000 A 60 01 81 FB\n"
                                              << 6 << "время 1.000000 раньше времени строки 5 (2.000000)";
    QTest::newRow("hex of odd length") << "capture.qlcap" << head + exchanges + "3.000000 A 600181F\n" << 8
                                       << "байт «600181F» не две шестнадцатеричные цифры: нечётное";
    QTest::newRow("a lone digit") << "capture.qlcap" << head + "1.000000 A 6\n" << 5 << "байт «6» не две";
    QTest::newRow("another format") << "capture.qlcap" << QByteArray("QLDIXw capture 2\n") + exchanges << 1
                                    << "другого формата";
    QTest::newRow("a reply longer than a window reads")
        << "capture.qlcap" << head + "1.000000 A 60 01 81 FB\n1.030000 B " + QByteArray("00 ").repeated(4096) + "01\n" << 6
        << "образец длиннее 4096 байт";
    QTest::newRow("nothing from side A") << "capture.qlcap" << head + "1.000000 B 01 81\n" << 0 << "ни одного кадра стороны A";
}

// A capture is told by its first line and replayed as it is read; what is wrong with it
// is named by its line in the file.
void TestScriptLanguage::replayedCaptures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(QString, result);
    QTemporaryDir dir;
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    const ScriptParse parsed = readScriptFile(file.fileName());
    if (!parsed.script || line > 0) {
        QVERIFY(!parsed.script);
        QVERIFY2(parsed.error.contains(result), qPrintable(parsed.error));
        QCOMPARE(parsed.errorLine, line);
        return;
    }
    QStringList steps;
    for (const ScriptCase& scriptCase : parsed.script->cases)
        for (const ScriptStep& step : scriptCase.steps)
            steps << QStringLiteral("%1 %2").arg(step.line).arg(step.source);
    QCOMPARE(steps.join(u'|'), result);
}

void TestScriptLanguage::runs_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("replies"); // one per window, in order ("=": a checksum)
    // What the run asked for, one word each: "send <frame text>/<window>", "wait <ms>".
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("results"); // one result line per case
    QTest::addColumn<QString>("options");     // "early", "window <ms>": the run's options

    QTest::newRow("cases, keywords in any case, the file's own case first")
        << QStringLiteral("ADDRESS 7\nSend 60 {ADDR} 81 *   # status\nExpect {addr} 80 ?? ?? ?? ?? ?? *\n"
                          "case second\n\twindow 20\nsend 60 {addr} 71 *\nexpect nothing\n")
        << QStringList{"07 80 00 00 00 00 00 =", ""}
        << QStringList{"send 60 07 81 */-", "send 60 07 71 */20"}
        << QStringList{"Сценарий: case file пройден", "Сценарий: case second пройден"} << QString();
    QTest::newRow("second case fails, third still runs, with the settings in force")
        << QStringLiteral("case one\nsend 60 01 81 *\nexpect 01 ...\ncase two\nwindow 30\nsend 60 01 81 *\n"
                          "expect 01 80 *\naddress 05\nsend 60 {addr} 81 *\ncase three\nsend 60 {addr} 81 *\n"
                          "expect ...\n")
        << QStringList{"01 80 00 00 00 00 00 =", "06", "01"}
        << QStringList{"send 60 01 81 */-", "send 60 01 81 */30", "send 60 01 81 */30"}
        << QStringList{"Сценарий: case one пройден",
                       "Сценарий: case two не пройден: ожидалось 01 80 *, получено 06 (строка 7)",
                       "Сценарий: case three пройден"} << QString();
    QTest::newRow("repeats, nested, with a pause")
        << QStringLiteral("repeat 2\n  send C0\n  repeat 2\n    wait 5\n  end\nend\nsend 00\nexpect 01\n")
        << QStringList{"", "", "01"}
        << QStringList{"send C0/-", "wait 5", "wait 5", "send C0/-", "wait 5", "wait 5", "send 00/-"}
        << QStringList{"Сценарий: case file пройден"} << QString();
    QTest::newRow("a failure inside a repeat skips the rest of it")
        << QStringLiteral("repeat 3\nsend 60 01 81 *\nexpect nothing\nend\ncase after\nsend 00\n")
        << QStringList{"", "06", ""}
        << QStringList{"send 60 01 81 */-", "send 60 01 81 */-", "send 00/-"}
        << QStringList{"Сценарий: case file не пройден: ожидалось: ничего (TimeOut), получено 06 (строка 3)",
                       "Сценарий: case after пройден"} << QString();
    QTest::newRow("no address known for {addr}")
        << QStringLiteral("case a\nsend 60 {addr} 81 *\ncase b\naddress 2\nsend 60 {addr} 81 *\nexpect {addr} 81\n")
        << QStringList{"02 81"}
        << QStringList{"send 60 02 81 */-"}
        << QStringList{"Сценарий: case a не пройден: адрес контроллера для {addr} не задан (строка 2)",
                       "Сценарий: case b пройден"} << QString();
    QTest::newRow("within: the reply's time against the bound, shown when it fails")
        << QStringLiteral("case late\nsend 00\nexpect 01 within 50\ncase in time\nsend 00\nexpect 01 WITHIN 50\n"
                          "case silent\nsend 00\nexpect ... within 50\n")
        << QStringList{"01 @51", "01 @50", ""} << QStringList{"send 00/-", "send 00/-", "send 00/-"}
        << QStringList{"Сценарий: case late не пройден: ответ через 51 мс — дольше within 50 мс (строка 3)",
                       "Сценарий: case in time пройден", "Сценарий: case silent пройден"}
        << QString();
    QTest::newRow("within: a reply that does not fit fails on its bytes")
        << QStringLiteral("send 00\nexpect 02 within 50\n") << QStringList{"01 @900"} << QStringList{"send 00/-"}
        << QStringList{"Сценарий: case file не пройден: ожидалось 02, получено 01 (строка 2)"} << QString();
    QTest::newRow("early windows: the expect right after a send ends its window")
        << QStringLiteral("send 00\nexpect 01\nwindow 80 early\naddress 1\nsend 60 {addr} 81 *\nexpect {addr} ... *\n"
                          "send 02\nexpect nothing\nsend 03\nwait 5\nwindow 90\nsend 04\nexpect 01\n")
        << QStringList{"01", "01 =", "", "", "01"}
        << QStringList{"send 00/-", "send 60 01 81 */80 early 01 ... *", "send 02/80", "send 03/80", "wait 5",
                       "send 04/90"}
        << QStringList{"Сценарий: case file пройден"} << QString();
    QTest::newRow("--early and --window: every window early, the first window given")
        << QStringLiteral("send 00\nexpect 01\nwindow 80\nsend 00\nexpect ??\n") << QStringList{"01", "01"}
        << QStringList{"send 00/700 early 01", "send 00/80 early ??"} << QStringList{"Сценарий: case file пройден"}
        << QStringLiteral("early window 700");
}


void TestScriptLanguage::runs()
{
    QFETCH(QString, script);
    QFETCH(QStringList, replies);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, results);
    QFETCH(QString, options);

    ScriptParse parsed = parseScript(script, QStringLiteral("file"));
    QVERIFY2(parsed.script, qPrintable(parsed.error));
    const bool noAddress = QTest::currentDataTag() == QByteArray("no address known for {addr}");
    QCOMPARE(parsed.script->needsStartAddress, noAddress);
    RunOptions runOptions;
    const QStringList optionWords = options.split(u' ', Qt::SkipEmptyParts);
    runOptions.earlyWindows = optionWords.contains(QStringLiteral("early"));
    if (const qsizetype window = optionWords.indexOf(QStringLiteral("window")); window >= 0)
        runOptions.windowMs = optionWords.value(window + 1).toInt();
    ScriptRun run(std::move(*parsed.script), noAddress ? std::optional<QString>() : QStringLiteral("01"), runOptions);

    QStringList asked;
    QStringList caseLines;
    std::int64_t lastStep = 0;
    qsizetype reply = 0;
    RunOutput out = run.start();
    for (int guard = 0; guard < 100; ++guard) {
        for (const RunEvent& event : out.events) {
            if (const auto* done = std::get_if<StepDone>(&event)) {
                // Steps are told once each, in order; skipped ones are passed over.
                QVERIFY(done->number > lastStep);
                lastStep = done->number;
            } else if (const auto* finished = std::get_if<CaseFinished>(&event)) {
                caseLines << caseResultLine(finished->result);
            }
        }
        if (out.next.kind == RunCommand::Kind::Finished)
            break;
        if (out.next.kind == RunCommand::Kind::Continue) {
            out = run.resume();
        } else if (out.next.kind == RunCommand::Kind::Wait) {
            asked << QStringLiteral("wait %1").arg(out.next.waitMs);
            out = run.waitEnded();
        } else {
            asked << QStringLiteral("send ") + out.next.frameText + u'/'
                    + (out.next.windowMs ? QString::number(*out.next.windowMs) : QStringLiteral("-"))
                    + (out.next.earlyPattern ? QStringLiteral(" early ") + patternText(*out.next.earlyPattern) : QString());
            QVERIFY(reply < replies.size());
            // "@N": the reply's last byte came N ms after the send's.
            const QString given = replies[reply++];
            const qsizetype at = given.indexOf(u'@');
            std::optional<std::chrono::microseconds> replyTime;
            if (at >= 0)
                replyTime = std::chrono::microseconds(given.mid(at + 1).toLongLong() * 1000 - 400);
            out = run.windowEnded(span(bytes(given.left(at))), replyTime);
        }
    }
    QVERIFY(run.finished());
    QCOMPARE(asked, commands);
    QCOMPARE(reply, replies.size());
    QCOMPARE(caseLines, results);
    QCOMPARE(run.stepsDone(), run.stepCount());
}

void TestScriptLanguage::stopEndsTheRun()
{
    ScriptParse parsed = parseScript(QStringLiteral("case a\nsend 00\ncase b\nwait 10\ncase c\nsend 01\n"),
                                     QStringLiteral("file"));
    QVERIFY(parsed.script);
    ScriptRun run(std::move(*parsed.script), QStringLiteral("01"));
    QCOMPARE(run.stepCount(), 3);
    run.start();
    run.windowEnded({});
    QCOMPARE(run.currentStep(), 2); // the pause
    const RunOutput out = run.stop(CaseOutcome::Stopped);
    QCOMPARE(out.next.kind, RunCommand::Kind::Finished);
    QVERIFY(run.finished());
    // A window or a pause that ends after the stop changes nothing.
    QVERIFY(run.waitEnded().events.empty());
    const std::vector<CaseResult>& results = run.results();
    QCOMPARE(results.size(), std::size_t(3));
    QCOMPARE(results[0].outcome, CaseOutcome::Passed);
    QCOMPARE(results[1].outcome, CaseOutcome::Stopped);
    QCOMPARE(results[1].failedLine, 4);
    QCOMPARE(results[2].outcome, CaseOutcome::NotRun);
    QCOMPARE(summaryLine(tally(results)), QStringLiteral("1 passed, 0 failed, 2 not run"));
}

// Eight million settings in a loop, within a script's bound: each call takes a bounded
// turn of them and asks to be resumed, so the window keeps its turn and the events of
// one call stay few; a stop in between ends the case as stopped.
void TestScriptLanguage::longLoopsTakeTurns()
{
    ScriptParse parsed = parseScript(QStringLiteral("case loop\nrepeat 1000000\n") + QStringLiteral("address 01\n").repeated(8)
                                         + QStringLiteral("end\nsend 00\ncase after\nsend 00\n"),
                                     QStringLiteral("file"));
    QVERIFY(parsed.script);
    ScriptRun run(std::move(*parsed.script), std::nullopt);
    QCOMPARE(run.stepCount(), 8'000'002);
    RunOutput out = run.start();
    std::int64_t done = 0;
    for (int turn = 0; turn < 5; ++turn) {
        QCOMPARE(out.next.kind, RunCommand::Kind::Continue);
        QVERIFY2(out.events.size() <= std::size_t(kStepsPerTurn), qPrintable(QString::number(out.events.size())));
        QVERIFY(run.stepsDone() > done);
        QVERIFY(run.stepUnderWay() == nullptr);
        done = run.stepsDone();
        out = turn < 4 ? run.resume() : run.stop(CaseOutcome::Stopped);
    }
    QVERIFY(run.finished());
    QVERIFY(run.resume().events.empty());
    QCOMPARE(run.results().size(), std::size_t(2));
    QCOMPARE(run.results()[0].outcome, CaseOutcome::Stopped);
    QCOMPARE(run.results()[1].outcome, CaseOutcome::NotRun);
}

void TestScriptLanguage::caseOutputIsBounded_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("notableEvery"); // 0: none
    QTest::addColumn<int>("kept");         // lines kept of those given
    QTest::addColumn<int>("gaps");         // lines saying how many were left out
    QTest::newRow("a short case is kept whole") << 350 << 0 << 350 << 0;
    QTest::newRow("a soak keeps its ends") << 1'000'000 << 0 << 400 << 1;
    QTest::newRow("and its notable lines") << 1'000'000 << 400'000 << 402 << 3;
    QTest::newRow("notable lines are bounded too") << 100'000 << 10 << 1400 << 1000;
}

// The report of a million-step case keeps its first and last steps and its notable
// lines, not a million lines, and says how many it left out.
void TestScriptLanguage::caseOutputIsBounded()
{
    QFETCH(int, lines);
    QFETCH(int, notableEvery);
    QFETCH(int, kept);
    QFETCH(int, gaps);
    CaseOutput output;
    for (int i = 0; i < lines; ++i)
        output.add(QStringLiteral("line %1").arg(i), notableEvery > 0 && i % notableEvery == 0);
    QCOMPARE(output.count(), lines);
    const QStringList got = output.lines();
    const QStringList left = got.filter(QStringLiteral("пропущено строк"));
    QCOMPARE(got.size() - left.size(), kept);
    QCOMPARE(left.size(), gaps);
    QCOMPARE(got.first(), QStringLiteral("line 0"));
    QCOMPARE(got.last(), QStringLiteral("line %1").arg(lines - 1));
    // Every line is either kept or counted, once, in order.
    qint64 seen = 0;
    for (const QString& line : got) {
        if (line.startsWith(QStringLiteral("line "))) {
            QVERIFY2(line.mid(5).toLongLong() >= seen, qPrintable(line));
            seen = line.mid(5).toLongLong() + 1;
        } else {
            seen += line.section(u' ', 3, 3).toLongLong();
        }
    }
    QCOMPARE(seen, qint64(lines));
}

QTEST_APPLESS_MAIN(TestScriptLanguage)
#include "test_scriptlanguage.moc"
