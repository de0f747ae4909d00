// The test scripts' checks whose cost grows with what they are given, without a line or
// a window: the reply-pattern matcher against a full reply window (a whole reply, and
// the longest start of one an early window looks for), the parse of a script
// of many cases, and a line monitor's capture read for replay. Each series grows its
// input until one measurement takes longer than the budget, so a cost that explodes
// shows where it starts without the run lasting for ever.
//
//   bench_scriptparse [budget-seconds]   (default 30)

#include "benchfigures.h"
#include "capturetext.h"
#include "replypattern.h"
#include "scriptparser.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A reply window's worth of bytes that no "... *" pattern fits, and that a search tries
// hardest on: every even run of FF bytes closes with a valid checksum (FF), so every
// frame start and every length is a candidate, and the last byte is no checksum of any.
std::vector<std::uint8_t> hardestReply()
{
    std::vector<std::uint8_t> reply(4096, 0xFF);
    reply.back() = 0x01;
    return reply;
}

void matcherSeries(double budget)
{
    std::printf("reply patterns against a 4096-byte reply no pattern fits:\n");
    const std::vector<std::uint8_t> reply = hardestReply();
    for (const int pairs : {1, 2, 4, 8, 16, 128, 2047}) {
        const testscript::PatternParse parsed = testscript::parseReplyPattern(QStringLiteral("... * ").repeated(pairs));
        if (!parsed.pattern) {
            std::printf("  %4d pairs: refused: %s\n", pairs, qPrintable(parsed.error));
            return;
        }
        QElapsedTimer clock;
        clock.start();
        const bool matched = testscript::patternMatches(*parsed.pattern, reply);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        std::printf("  %4d \"... *\" pairs: %10.3f ms%s\n", pairs, seconds * 1e3, matched ? " (matched: wrong)" : "");
        std::fflush(stdout);
        if (seconds > budget) {
            std::printf("  (over the budget: longer patterns not tried)\n");
            return;
        }
    }
}

// What an early window asks of a reply once the line goes quiet: the longest start of it
// that the pattern fits. Tried start by start, each start is a walk of its own; the
// matcher answers for every start in one walk. The patterns keep a walk going to the
// end of the hardest reply, and none fits any start of it.
void earlyWindowSeries()
{
    std::printf("the longest start of a 4096-byte reply that fits (an early window's end), none fitting:\n");
    const std::vector<std::uint8_t> reply = hardestReply();
    for (const char* text : {"... * 00", "... * ... * 00", "?? ... 01 ?? *"}) {
        const testscript::ReplyPattern pattern = *testscript::parseReplyPattern(QString::fromLatin1(text)).pattern;
        QElapsedTimer clock;
        clock.start();
        std::size_t fitsByStarts = 0;
        for (std::size_t size = reply.size() + 1; size-- > 0;)
            if (testscript::patternMatches(pattern, std::span(reply).first(size))) {
                fitsByStarts = size;
                break;
            }
        const double byStarts = double(clock.nsecsElapsed()) / 1e9;
        clock.start();
        const std::vector<std::size_t> fits = testscript::fittingPrefixes(pattern, reply);
        const double oneWalk = double(clock.nsecsElapsed()) / 1e9;
        std::printf("  %-16s each start in turn %9.3f ms, one walk %7.3f ms%s\n", text, byStarts * 1e3, oneWalk * 1e3,
                    fits.empty() && fitsByStarts == 0 ? "" : " (fitted: wrong)");
        std::fflush(stdout);
    }
}

void parseSeries(double budget)
{
    std::printf("scripts of many cases (a status request and its reply each):\n");
    for (const int cases : {10'000, 20'000, 40'000, 80'000}) {
        QString text;
        for (int i = 0; i < cases; ++i)
            text += QStringLiteral("case %1\nsend 60 01 81 *\nexpect 01 81 00 ?? ?? ?? ?? *\n").arg(i + 1);
        QElapsedTimer clock;
        clock.start();
        const testscript::ScriptParse parse = testscript::parseScript(text, QStringLiteral("bench"));
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        std::printf("  %6d cases (%5.2f MiB): %9.3f s%s\n", cases, double(text.toUtf8().size()) / (1 << 20), seconds,
                    parse.script ? "" : " (refused: wrong)");
        std::fflush(stdout);
        if (seconds > budget) {
            std::printf("  (over the budget: larger scripts not tried)\n");
            return;
        }
    }
}

void replaySeries(double budget)
{
    std::printf("a monitor's capture read for replay (a request and its reply every 100 ms):\n");
    QTemporaryDir dir;
    for (const std::int64_t mib : {1, 4, 16, 63}) {
        std::int64_t exchanges = 0;
        const QString path = dir.filePath(QStringLiteral("poll.qlcap"));
        {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(bench::pollingCaptureText(mib << 20, &exchanges)) < 0) {
                std::printf("  the capture could not be written\n");
                return;
            }
        }
        const long before = bench::residentKiB();
        const long heapBefore = bench::heapInUseKiB();
        bench::resetPeakResident();
        const double cpu = bench::processCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        long heldKiB = 0;
        bool read = false;
        {
            const testscript::ScriptParse parse = testscript::readScriptFile(path);
            read = bool(parse.script);
            heldKiB = bench::heapInUseKiB() - heapBefore;
        }
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        std::printf("  %3lld MiB, %8lld exchanges: %8.3f s (%.3f s CPU), the script holds %7ld KiB, resident peak +%7ld KiB%s\n",
                    static_cast<long long>(mib), static_cast<long long>(exchanges), seconds,
                    bench::processCpuSeconds() - cpu, heldKiB, bench::peakResidentKiB() - before,
                    read ? "" : " (refused: wrong)");
        std::fflush(stdout);
        if (seconds > budget) {
            std::printf("  (over the budget: larger captures not tried)\n");
            return;
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    const double budget = argc > 1 ? std::atof(argv[1]) : 30;
    if (!(budget > 0)) {
        std::fprintf(stderr, "usage: bench_scriptparse [budget-seconds > 0]\n");
        return 2;
    }
    matcherSeries(budget);
    earlyWindowSeries();
    parseSeries(budget);
    replaySeries(budget);
    return 0;
}
