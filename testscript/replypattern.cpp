#include "replypattern.h"

#include "frametext.h"
#include "transport.h"

#include <algorithm>
#include <array>

namespace testscript {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The frame checksum (frametext.h) runs c -> rotl(c ^ b) from FF, and FF is its own
// rotation, so the checksum of the bytes [s, p) of a reply is
//     FF ^ rotl(prefix[p] ^ prefix[s], p mod 8),   prefix[j] = XOR of rotr(reply[i], i mod 8), i < j.
// Where a frame started thus matters to a "*" only through prefix[s], one byte: a match is
// a walk over the reply's bytes in which each pattern token holds the set of the 256
// values of prefix[frame start] it can be reached with. Every byte moves every token's
// set one step, so the time is (reply bytes) × (pattern tokens) × four words, whatever
// the pattern, and the memory two sets per token.
class FrameStarts {
public:
    bool empty() const { return (bits_[0] | bits_[1] | bits_[2] | bits_[3]) == 0; }
    bool has(std::uint8_t key) const { return (bits_[key >> 6] >> (key & 63)) & 1; }
    void add(std::uint8_t key) { bits_[key >> 6] |= std::uint64_t(1) << (key & 63); }
    void add(const FrameStarts& other)
    {
        for (std::size_t i = 0; i < bits_.size(); ++i)
            bits_[i] |= other.bits_[i];
    }
    void clear() { bits_ = {}; }

private:
    std::array<std::uint64_t, 4> bits_{};
};

std::uint8_t rotateRight(std::uint8_t value, unsigned by)
{
    by &= 7;
    return static_cast<std::uint8_t>((value >> by) | (value << ((8 - by) & 7)));
}

// "..." may match no byte: whatever reaches it reaches the token after it too.
void passEmptyRuns(const std::vector<PatternToken>& tokens, std::vector<FrameStarts>& at)
{
    for (std::size_t t = 0; t < tokens.size(); ++t)
        if (tokens[t].kind == PatternToken::Kind::AnyRun && !at[t].empty())
            at[t + 1].add(at[t]);
}

} // namespace

PatternParse parseReplyPattern(const QString& text)
{
    using Kind = PatternToken::Kind;
    ReplyPattern pattern;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text[i];
        if (isBlank(c)) {
            ++i;
        } else if (c == u'*') {
            pattern.tokens.push_back({Kind::Checksum});
            ++i;
        } else if (c == u'?') {
            if (i + 1 >= n || text[i + 1] != u'?')
                return {std::nullopt, QStringLiteral("«?» стоит без пары: любой байт пишется «??»")};
            pattern.tokens.push_back({Kind::AnyByte});
            i += 2;
        } else if (c == u'.') {
            qsizetype run = 0;
            while (i + run < n && text[i + run] == u'.')
                ++run;
            if (run != 3)
                return {std::nullopt, QStringLiteral("«%1»: любое число байтов пишется тремя точками «...»")
                                          .arg(QString(run, u'.'))};
            // "... ..." means no more than one "...".
            if (pattern.tokens.empty() || pattern.tokens.back().kind != Kind::AnyRun)
                pattern.tokens.push_back({Kind::AnyRun});
            i += run;
        } else if (const std::optional<int> high = transport::hexDigitValue(c)) {
            const std::optional<int> low = i + 1 < n ? transport::hexDigitValue(text[i + 1]) : std::nullopt;
            if (!low)
                return {std::nullopt, QStringLiteral("«%1» — полбайта: байт пишется двумя шестнадцатеричными цифрами")
                                          .arg(c)};
            pattern.tokens.push_back({Kind::Byte, static_cast<std::uint8_t>(*high * 16 + *low)});
            i += 2;
        } else {
            return {std::nullopt, QStringLiteral("символ «%1» не бывает в образце ответа").arg(c)};
        }
    }
    if (pattern.tokens.empty())
        return {std::nullopt, QStringLiteral("нет образца ответа (ожидание пустого окна пишется «expect nothing»)")};
    const auto bytes = std::count_if(pattern.tokens.begin(), pattern.tokens.end(),
                                     [](const PatternToken& token) { return token.kind != Kind::AnyRun; });
    if (bytes > transport::kReplyBufferSize)
        return {std::nullopt, QStringLiteral("образец длиннее %1 байт: столько за одно окно не читается")
                                  .arg(transport::kReplyBufferSize)};
    return {std::move(pattern), {}};
}

namespace {

// The walk itself: `fits(length)` is told, shortest first, each length of a start of the
// reply that the whole pattern fits; the walk ends with the reply or once no token can
// be reached any more, since no longer start can fit then.
template <typename Fits>
void walkReply(const ReplyPattern& pattern, std::span<const std::uint8_t> reply, Fits&& fits)
{
    using Kind = PatternToken::Kind;
    const std::vector<PatternToken>& tokens = pattern.tokens;
    // now[t]: the frame starts with which the first t tokens match the bytes read so far.
    std::vector<FrameStarts> now(tokens.size() + 1);
    std::vector<FrameStarts> next(tokens.size() + 1);
    std::uint8_t prefix = 0; // prefix[p] of the byte being read
    now[0].add(prefix);
    passEmptyRuns(tokens, now);
    if (!now[tokens.size()].empty())
        fits(std::size_t(0));
    for (std::size_t p = 0; p < reply.size(); ++p) {
        const std::uint8_t byte = reply[p];
        const std::uint8_t prefixAfter = prefix ^ rotateRight(byte, unsigned(p));
        // The frame start whose checksum this byte is.
        const std::uint8_t closes = prefix ^ rotateRight(byte ^ 0xFF, unsigned(p));
        bool any = false;
        for (std::size_t t = 0; t < tokens.size(); ++t) {
            const FrameStarts& from = now[t];
            if (from.empty())
                continue;
            switch (tokens[t].kind) {
            case Kind::Byte:
                if (byte != tokens[t].value)
                    continue;
                next[t + 1].add(from);
                break;
            case Kind::AnyByte:
                next[t + 1].add(from);
                break;
            case Kind::Checksum:
                if (!from.has(closes))
                    continue;
                // The next frame starts after it.
                next[t + 1].add(prefixAfter);
                break;
            case Kind::AnyRun:
                next[t].add(from);
                break;
            }
            any = true;
        }
        if (!any)
            return;
        passEmptyRuns(tokens, next);
        now.swap(next);
        for (FrameStarts& starts : next)
            starts.clear();
        prefix = prefixAfter;
        if (!now[tokens.size()].empty())
            fits(p + 1);
    }
}

} // namespace

bool patternMatches(const ReplyPattern& pattern, std::span<const std::uint8_t> reply)
{
    bool whole = false;
    walkReply(pattern, reply, [&](std::size_t length) { whole = length == reply.size(); });
    return whole;
}

std::vector<std::size_t> fittingPrefixes(const ReplyPattern& pattern, std::span<const std::uint8_t> reply)
{
    std::vector<std::size_t> lengths;
    walkReply(pattern, reply, [&](std::size_t length) { lengths.push_back(length); });
    return lengths;
}

QString patternText(const ReplyPattern& pattern)
{
    QStringList words;
    for (const PatternToken& token : pattern.tokens) {
        switch (token.kind) {
        case PatternToken::Kind::Byte: words << transport::hexByte(token.value); break;
        case PatternToken::Kind::AnyByte: words << QStringLiteral("??"); break;
        case PatternToken::Kind::Checksum: words << QStringLiteral("*"); break;
        case PatternToken::Kind::AnyRun: words << QStringLiteral("..."); break;
        }
    }
    return words.join(u' ');
}

} // namespace testscript
