// The reply patterns an `expect` checks a window against: whatever the pattern and the
// reply, the matcher answers what a plain search trying every way answers (on inputs
// small enough for that search to end), and so do the lengths of the reply's starts it
// says the pattern fits (an early window's question), each in processor time within
// what one walk over bytes × tokens takes, so a search that grows faster than that is a
// finding; and a pattern written back reads as itself.
//
// Input: the pattern's text (UTF-8) up to the first NUL byte, the reply's bytes after it.

#include "fuzzcheck.h"

#include "frametext.h"
#include "replypattern.h"

#include <algorithm>
#include <ctime>
#include <span>

using namespace testscript;

namespace {

using Kind = PatternToken::Kind;

// Every length of every "...", every checksum computed anew: exponential, so only for
// small inputs, and written for nothing but being plainly right.
bool everyWay(const std::vector<PatternToken>& tokens, std::size_t t, std::span<const std::uint8_t> reply,
              std::size_t pos, std::size_t frameStart)
{
    if (t == tokens.size())
        return pos == reply.size();
    const PatternToken& token = tokens[t];
    if (token.kind == Kind::AnyRun) {
        for (std::size_t skip = pos; skip <= reply.size(); ++skip)
            if (everyWay(tokens, t + 1, reply, skip, frameStart))
                return true;
        return false;
    }
    if (pos >= reply.size())
        return false;
    switch (token.kind) {
    case Kind::Byte:
        return reply[pos] == token.value && everyWay(tokens, t + 1, reply, pos + 1, frameStart);
    case Kind::AnyByte:
        return everyWay(tokens, t + 1, reply, pos + 1, frameStart);
    case Kind::Checksum:
        return reply[pos] == transport::frameChecksum(reply.subspan(frameStart, pos - frameStart))
            && everyWay(tokens, t + 1, reply, pos + 1, pos + 1);
    case Kind::AnyRun:
        break;
    }
    return false;
}

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    std::size_t split = 0;
    while (split < size && data[split] != 0)
        ++split;
    const QString text = fuzz::typedText(data, split);
    const std::span<const std::uint8_t> reply = input.subspan(std::min(split + 1, size));

    const PatternParse parsed = parseReplyPattern(text);
    if (!parsed.pattern) {
        fuzz::check(!parsed.error.isEmpty(), "a pattern refused without a reason", text);
        return 0;
    }
    const ReplyPattern& pattern = *parsed.pattern;
    const PatternParse again = parseReplyPattern(patternText(pattern));
    fuzz::check(again.pattern && *again.pattern == pattern, "a pattern written back reads otherwise", text);

    // Generous for the sanitizers and the fuzzer's own counting, far below what a search
    // that tries frame starts × lengths for each "..." takes on a reply of a few hundred
    // bytes, or what trying each start of the reply in turn takes.
    const double allowed = 0.05 + 200e-9 * double(pattern.tokens.size() + 1) * double(reply.size() + 1);
    double before = threadSeconds();
    const bool matched = patternMatches(pattern, reply);
    double spent = threadSeconds() - before;
    fuzz::check(spent <= allowed, "the match took longer than bytes × tokens allow",
                QStringLiteral("%1 s for %2 tokens, %3 bytes: %4").arg(spent).arg(pattern.tokens.size()).arg(reply.size()).arg(text));
    before = threadSeconds();
    const std::vector<std::size_t> fits = fittingPrefixes(pattern, reply);
    spent = threadSeconds() - before;
    fuzz::check(spent <= allowed, "the starts that fit took longer than bytes × tokens allow",
                QStringLiteral("%1 s for %2 tokens, %3 bytes: %4").arg(spent).arg(pattern.tokens.size()).arg(reply.size()).arg(text));
    fuzz::check(std::is_sorted(fits.begin(), fits.end()) && std::adjacent_find(fits.begin(), fits.end()) == fits.end()
                    && (fits.empty() || fits.back() <= reply.size()),
                "the starts that fit are not each length once, shortest first", text);
    fuzz::check(matched == (!fits.empty() && fits.back() == reply.size()), "the whole reply fits one way and not the other", text);

    const auto runs = std::count_if(pattern.tokens.begin(), pattern.tokens.end(),
                                    [](const PatternToken& token) { return token.kind == Kind::AnyRun; });
    if (reply.size() <= 24 && runs <= 3) {
        const QString against = text + QStringLiteral(" against ")
            + fuzz::hexDump(QByteArray(reinterpret_cast<const char*>(reply.data()), qsizetype(reply.size())));
        fuzz::check(matched == everyWay(pattern.tokens, 0, reply, 0, 0), "the match differs from every way tried", against);
        for (std::size_t length = 0; length <= reply.size(); ++length)
            fuzz::check(std::binary_search(fits.begin(), fits.end(), length)
                            == everyWay(pattern.tokens, 0, reply.first(length), 0, 0),
                        "a start of the reply fits otherwise than every way tried says",
                        against + QStringLiteral(", the first %1 bytes").arg(length));
    }
    return 0;
}
