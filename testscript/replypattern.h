#pragma once
// The pattern an `expect` step checks a reply against: hex pairs for exact bytes, "??"
// for any one byte, "*" for a checksum byte, "..." for any number of bytes. Like frame
// text, a "*" closes a frame: it must be the checksum of the bytes since the previous
// "*" (or the start of the reply), so a reply of two frames is written "60 01 * 00 *".

#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace testscript {

struct PatternToken {
    enum class Kind : std::uint8_t { Byte, AnyByte, Checksum, AnyRun };
    Kind kind = Kind::Byte;
    std::uint8_t value = 0; // Byte only
    friend bool operator==(const PatternToken&, const PatternToken&) = default;
};

struct ReplyPattern {
    std::vector<PatternToken> tokens;
    friend bool operator==(const ReplyPattern&, const ReplyPattern&) = default;
};

struct PatternParse {
    std::optional<ReplyPattern> pattern;
    QString error; // why the text is no pattern, when it is not
};

// Blanks and tabs separate nothing but may stand anywhere between tokens; pairs may be
// written together ("600181"). An empty text, a lone hex digit, a lone "?" or a run of
// dots other than three is refused.
PatternParse parseReplyPattern(const QString& text);

// Whether the whole reply fits the whole pattern.
bool patternMatches(const ReplyPattern& pattern, std::span<const std::uint8_t> reply);
// The length of every start of the reply (the whole reply and none of it included) that
// the whole pattern fits, shortest first: what an early window needs to know of a reply
// still coming, in one walk over it rather than one for each start.
std::vector<std::size_t> fittingPrefixes(const ReplyPattern& pattern, std::span<const std::uint8_t> reply);

// The pattern written back in one form: "60 01 ?? * ...".
QString patternText(const ReplyPattern& pattern);

} // namespace testscript
