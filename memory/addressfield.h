#pragma once
// What an address field's text asks for. The field holds a six-digit hex address,
// optionally a blank and a two-digit value to write; the parse is strict because a
// mistyped write must not reach the controller.

#include "memoryarea.h"

#include <QChar>
#include <QString>
#include <optional>

namespace memory {

// The longest text an address field takes: six digits, a blank, two digits.
inline constexpr int kAddressFieldMaxLength = 9;
inline constexpr int kLastAddress = 0xFFFFFF;

// The character to insert for a typed one, or nothing when the key is dropped.
// Lower-case hex letters, and the Cyrillic letters sharing their keys on a Russian
// layout, become the upper-case hex letters.
std::optional<QChar> addressKeyFilter(QChar typed);

// Leading and trailing blanks removed, every run of blanks shortened to one.
QString collapseBlanks(const QString& text);

struct AddressFieldRequest {
    enum Kind {
        Refused,   // nothing goes out and nothing is said
        TwoBlanks, // nothing goes out; the IF field says so
        Read,
        Write,
    };
    Kind kind = Refused;
    QString address; // six upper-case hex digits
    QString value;   // two upper-case hex digits, for a write
    // What the field shows afterwards, and the caret position in it.
    QString fieldText;
    int caret = 0;
};

// The request an address field's text makes with this key. Page Down and Page Up
// read the next and previous address (never past 000000 or FFFFFF) and drop a value.
AddressFieldRequest parseAddressField(const QString& text, MemoryKey key);

// The address of a field's text for a bit replacement: six hex digits (any value
// after a blank is ignored), or "1" when the text is no address.
QString adressyach(const QString& text);
inline const QString kUnusableAddress = QStringLiteral("1");

} // namespace memory
