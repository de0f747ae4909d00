#include "moneyfields.h"

namespace dispenser {

namespace {

const QString kRoubles = QStringLiteral(" р.");

// Character i of t, counting from 1; "0" past the end, so that a short text set by
// the program shifts like a zero-filled one.
QChar at(const QString& t, int i)
{
    return i >= 1 && i <= t.size() ? t.at(i - 1) : QChar(u'0');
}

QString range(const QString& t, int first, int last)
{
    QString out;
    for (int i = first; i <= last; ++i)
        out += at(t, i);
    return out;
}

bool digitsAt(const QString& t, int first, int last)
{
    for (int i = first; i <= last; ++i)
        if (at(t, i) < u'0' || at(t, i) > u'9')
            return false;
    return true;
}

} // namespace

QString fieldResetText(MoneyField field)
{
    switch (field) {
    case MoneyField::PricePerLitre:
        return QStringLiteral("00,00") + kRoubles;
    case MoneyField::Volume:
        return QStringLiteral("000000,000");
    case MoneyField::Money:
        return QStringLiteral("00000,00") + kRoubles;
    }
    return QString();
}

QString shiftDigitIn(MoneyField field, const QString& t, QChar d)
{
    switch (field) {
    case MoneyField::PricePerLitre:
        return range(t, 2, 2) + at(t, 4) + u',' + at(t, 5) + d + kRoubles;
    case MoneyField::Volume:
        return range(t, 2, 6) + at(t, 8) + u',' + at(t, 9) + d + u'0';
    case MoneyField::Money:
        return range(t, 2, 5) + at(t, 7) + u',' + at(t, 8) + d + kRoubles;
    }
    return t;
}

bool fieldTextInFormat(MoneyField field, const QString& t)
{
    switch (field) {
    case MoneyField::PricePerLitre:
        return t.size() == 8 && digitsAt(t, 1, 2) && at(t, 3) == u',' && digitsAt(t, 4, 5) && t.mid(5) == kRoubles;
    case MoneyField::Volume:
        return t.size() == 10 && digitsAt(t, 1, 6) && at(t, 7) == u',' && digitsAt(t, 8, 10);
    case MoneyField::Money:
        return t.size() == 11 && digitsAt(t, 1, 5) && at(t, 6) == u',' && digitsAt(t, 7, 8) && t.mid(8) == kRoubles;
    }
    return false;
}

} // namespace dispenser
