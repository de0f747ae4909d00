#include "readingquantity.h"

namespace meter {

QString quantityName(ReadingQuantity quantity)
{
    switch (quantity) {
    case ReadingQuantity::V1: return QStringLiteral("V1");
    case ReadingQuantity::V2: return QStringLiteral("V2");
    case ReadingQuantity::V3: return QStringLiteral("V3");
    case ReadingQuantity::A1: return QStringLiteral("A1");
    case ReadingQuantity::A2: return QStringLiteral("A2");
    case ReadingQuantity::A3: return QStringLiteral("A3");
    case ReadingQuantity::W1: return QStringLiteral("W1");
    case ReadingQuantity::W2: return QStringLiteral("W2");
    case ReadingQuantity::W3: return QStringLiteral("W3");
    case ReadingQuantity::Sum: return QStringLiteral("Сумма");
    }
    return {};
}

namespace {

// The panel's label of each quantity, in the order of ReadingQuantity.
constexpr std::array<const char*, kReadingQuantityCount> kLabelNames{
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

std::optional<ReadingQuantity> quantityFromName(QStringView name)
{
    name = name.trimmed();
    for (const ReadingQuantity quantity : kAllReadingQuantities) {
        if (sameName(name, quantityName(quantity))
            || name == QLatin1String(kLabelNames[std::size_t(readingQuantityIndex(quantity))]))
            return quantity;
    }
    return std::nullopt;
}

} // namespace meter
