#pragma once
// A test script as the runner takes it: named cases of steps, checked whole before
// anything is sent. Repeats stay loops (a repeat step and its end point at each other),
// so a soak test of a million exchanges costs no more memory than one.

#include "replypattern.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace testscript {

struct ScriptStep {
    enum class Kind : std::uint8_t { Send, Expect, ExpectNothing, Window, Wait, Address, Repeat, End };
    Kind kind = Kind::Send;
    // The script's line, counted from 1, and its text without the comment.
    int line = 0;
    QString source;
    // Send: the frame text, and Expect: the pattern as written, "{addr}" kept for the
    // address of the moment. Address: the address as two upper-case hex digits.
    QString text;
    // Window, Wait: milliseconds. Repeat: how many times.
    int value = 0;
    // Repeat: the index of its end; End: the index of its repeat.
    int jump = 0;
    ReplyPattern pattern; // Expect (with 01 for "{addr}")
    // Window: the window ends once its reply is complete ("window 100 early").
    bool early = false;
    // Expect: the latest the reply's last byte may come after the send's last byte went
    // out, in milliseconds ("expect … within 50"); 0: any time within the window.
    int withinMs = 0;
};

struct ScriptCase {
    QString name;
    int line = 0;
    std::vector<ScriptStep> steps;
    // Steps a run of the case takes, repeats counted out (repeat and end are no steps).
    std::int64_t stepCount = 0;
};

struct Script {
    std::vector<ScriptCase> cases;
    std::int64_t stepCount = 0;
    // A frame or a pattern uses "{addr}" before any address step sets it: the run needs
    // an address to start with.
    bool needsStartAddress = false;
};

// The placeholder for the controller address in a frame or a pattern.
inline constexpr char16_t kAddressPlaceholder[] = u"{addr}";

// The text with the address put in for every placeholder.
QString frameWithAddress(const QString& frameText, const QString& address);
bool usesAddress(const QString& frameText);

} // namespace testscript
