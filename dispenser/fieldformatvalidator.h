#pragma once
// The money and volume fields' guard while the operator types (moneyfields.h has their
// shape).

#include "moneyfields.h"

#include <QValidator>

namespace dispenser {

// Refuses every edit by the operator that would leave the field's shape: characters
// typed between the digits, pasting, cutting. Text set by the program is not checked.
class FieldFormatValidator : public QValidator {
public:
    FieldFormatValidator(MoneyField field, QObject* parent);
    State validate(QString& input, int& pos) const override;

private:
    const MoneyField field_;
};

} // namespace dispenser
