#pragma once
// What a dispenser reply means, given the reply the last request announced: the
// console lines, the fields and pop-up it fills, and the request it asks for next.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>

namespace dispenser {

// The reply windows of the version exchange, in milliseconds.
inline constexpr int kVersionTextWindowMs = 5000;
inline constexpr int kAfterVersionWindowMs = 200;

struct ExpectedReply {
    std::uint8_t cmd = 0;
    std::uint8_t sub = 0;
};

enum class FollowUp {
    None,
    ReadTotalisers,  // a reset was acknowledged
    ReadPrice,       // a totaliser read got a reply of another length
    ContinueVersion, // the version exchange's lone 31
};

struct StatusFields {
    QString Danstat;  // "12 34 56"
    QString StatSost; // "07"
};

struct TotaliserFields {
    QString NeflitrSum; // "00012345,67"
    QString flitrSum;   // "001234,56"
    QString NefDenSum;  // "009876,54"
};

struct DispenserReply {
    // Lines for the console log, in order.
    QStringList lines;
    FollowUp followUp = FollowUp::None;
    // The price read goes out before the line of the reply that caused it; every other
    // follow-up after the lines.
    bool followUpBeforeLines = false;
    std::optional<StatusFields> status;
    // A price reply: the text for stoimlitr, and the price pop-up opens.
    std::optional<QString> pricePerLitre;
    // A totaliser reply: the three labels, and the totaliser pop-up opens.
    std::optional<TotaliserFields> totalisers;
    // The length of the next reply window, when the reply sets one.
    std::optional<int> replyWindowMs;
};

// What a one-byte acknowledgement says: "Успешно", "Нет ресурсов", "Отвергнуто"; empty
// for the codes the controller sends without a word of their own (05, 15); nothing for a
// code it does not document.
std::optional<QString> acknowledgementMeaning(std::uint8_t code);
// The acknowledgement line for a one-byte reply.
QString acknowledgementLine(std::uint8_t code, const QString& timeStamp);

// Decodes one reply window's bytes (empty: nothing came). slowWindow: "Протеус" is
// ticked, which lengthens the window after the version text.
DispenserReply decodeDispenserReply(std::span<const std::uint8_t> reply, ExpectedReply expected,
                                    const QString& timeStamp, bool slowWindow);

} // namespace dispenser
