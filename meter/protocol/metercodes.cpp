#include "metercodes.h"

namespace meter {

std::optional<Quantity> quantityForCode(std::uint8_t code)
{
    for (const QuantityInfo& info : kQuantities)
        if (info.code == code)
            return info.quantity;
    return std::nullopt;
}

std::optional<int> settingForReadCode(std::uint8_t code)
{
    for (int i = 0; i < kSettingCount; ++i)
        if (kSettings[static_cast<std::size_t>(i)].readCode == code)
            return i;
    return std::nullopt;
}

} // namespace meter
