#pragma once
// The fixed-width number fields: price per litre, volume and money. The requests cut
// their digits out at fixed positions, so a typed digit enters at the right-hand end
// and pushes the others left, and the field never leaves its format.

#include <QString>

namespace dispenser {

enum class MoneyField {
    PricePerLitre, // stoimlitr, "00,00 р."
    Volume,        // litri, "000000,000"
    Money,         // Stoimost, "00000,00 р."
};

QString fieldResetText(MoneyField field);

// The text after the digit d was typed into a field holding text: every digit moves
// one place left, the leftmost is dropped, d becomes the last one sent (for the
// volume the second decimal; its third decimal becomes 0).
QString shiftDigitIn(MoneyField field, const QString& text, QChar digit);

// True when the text has the field's exact shape (digits, comma, suffix).
bool fieldTextInFormat(MoneyField field, const QString& text);

} // namespace dispenser
