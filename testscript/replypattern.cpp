#include "replypattern.h"

#include "frametext.h"
#include "transport.h"

#include <algorithm>
#include <unordered_map>

namespace testscript {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The search for a match: the pattern's tokens against the reply's bytes, trying every
// length for each "...". For each "..." (and frame start, where a "*" still follows) the
// first position from which every length is known to fail is kept, so no length is
// tried twice: the work stays bounded by tokens × bytes (× frame starts).
class Matcher {
public:
    Matcher(const ReplyPattern& pattern, std::span<const std::uint8_t> reply)
        : tokens_(pattern.tokens)
        , reply_(reply)
        , checksumFollows_(tokens_.size() + 1, false)
    {
        for (std::size_t t = tokens_.size(); t-- > 0;)
            checksumFollows_[t] = checksumFollows_[t + 1] || tokens_[t].kind == PatternToken::Kind::Checksum;
    }

    bool matches(std::size_t t, std::size_t pos, std::size_t frameStart)
    {
        using Kind = PatternToken::Kind;
        for (; t < tokens_.size(); ++t) {
            const PatternToken& token = tokens_[t];
            if (token.kind == Kind::AnyRun) {
                if (t + 1 == tokens_.size())
                    return true; // the rest of the reply, whatever it holds
                // Where the frame started matters only to a "*" still to come.
                const std::size_t start = checksumFollows_[t] ? frameStart : 0;
                const std::uint64_t key = (std::uint64_t(t) << 32) | start;
                const auto known = failsFrom_.find(key);
                const std::size_t limit = known == failsFrom_.end() ? reply_.size() + 1 : known->second;
                for (std::size_t skip = pos; skip < limit; ++skip)
                    if (matches(t + 1, skip, frameStart))
                        return true;
                failsFrom_[key] = std::min(pos, limit);
                return false;
            }
            if (pos >= reply_.size())
                return false;
            const std::uint8_t byte = reply_[pos];
            if (token.kind == Kind::Byte && byte != token.value)
                return false;
            if (token.kind == Kind::Checksum) {
                if (byte != transport::frameChecksum(reply_.subspan(frameStart, pos - frameStart)))
                    return false;
                frameStart = pos + 1;
            }
            ++pos;
        }
        return pos == reply_.size();
    }

private:
    const std::vector<PatternToken>& tokens_;
    std::span<const std::uint8_t> reply_;
    std::vector<bool> checksumFollows_;
    // For a "..." and a frame start: every length from this position on fails.
    std::unordered_map<std::uint64_t, std::size_t> failsFrom_;
};

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

bool patternMatches(const ReplyPattern& pattern, std::span<const std::uint8_t> reply)
{
    return Matcher(pattern, reply).matches(0, 0, 0);
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
