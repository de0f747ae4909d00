#include "readingquantity.h"

namespace meter {

QString quantityName(Quantity quantity)
{
    switch (quantity) {
    case Quantity::V1: return QStringLiteral("V1");
    case Quantity::V2: return QStringLiteral("V2");
    case Quantity::V3: return QStringLiteral("V3");
    case Quantity::A1: return QStringLiteral("A1");
    case Quantity::A2: return QStringLiteral("A2");
    case Quantity::A3: return QStringLiteral("A3");
    case Quantity::W1: return QStringLiteral("W1");
    case Quantity::W2: return QStringLiteral("W2");
    case Quantity::W3: return QStringLiteral("W3");
    case Quantity::Sum: return QStringLiteral("Сумма");
    }
    return {};
}

namespace {

// The panel's label of each quantity, in the order of Quantity.
constexpr std::array<const char*, kQuantityCount> kLabelNames{
    "vv1", "vv2", "vv3", "aa1", "aa2", "aa3", "ww1", "ww2", "ww3", "summ_wat",
};

// The panel's row captions write the currents with a Cyrillic "А" and the powers in
// lower case; a reading named after its row is the same reading.
bool sameName(QStringView name, QStringView own)
{
    if (name.size() != own.size() || name.isEmpty())
        return false;
    const char16_t first = name.front().unicode();
    const bool firstMatches = own.front() == u'A' ? (first == u'A' || first == u'a' || first == 0x0410 || first == 0x0430)
                                                   : name.front().toCaseFolded() == own.front().toCaseFolded();
    return firstMatches && name.sliced(1).compare(own.sliced(1), Qt::CaseInsensitive) == 0;
}

} // namespace

const char* labelName(Quantity quantity)
{
    return kLabelNames[quantityIndex(quantity)];
}

QString unitName(Quantity quantity)
{
    if (isPower(quantity) || quantity == Quantity::Sum)
        return QStringLiteral("W");
    return quantity <= Quantity::V3 ? QStringLiteral("V") : QStringLiteral("A");
}

std::optional<Quantity> quantityFromName(QStringView name)
{
    name = name.trimmed();
    for (const Quantity quantity : kAllQuantities) {
        if (sameName(name, quantityName(quantity)) || name == QLatin1String(labelName(quantity)))
            return quantity;
    }
    return std::nullopt;
}

} // namespace meter
