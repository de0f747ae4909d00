#include "fieldformatvalidator.h"

namespace dispenser {

FieldFormatValidator::FieldFormatValidator(MoneyField field, QObject* parent)
    : QValidator(parent)
    , field_(field)
{
}

QValidator::State FieldFormatValidator::validate(QString& input, int& pos) const
{
    Q_UNUSED(pos);
    return fieldTextInFormat(field_, input) ? Acceptable : Invalid;
}

} // namespace dispenser
