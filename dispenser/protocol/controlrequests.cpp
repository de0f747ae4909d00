#include "controlrequests.h"

namespace dispenser {

ControlRequestTemplates defaultControlRequests()
{
    // A control request's data frame: the function code, then five filler bytes.
    const auto control = [](const char* functionCode) {
        return ControlRequestTemplate{QString::fromLatin1(functionCode) + QStringLiteral(" 55 55 55 55 55*"),
                                      QStringLiteral("10")};
    };
    return {{
        {QString(), QStringLiteral("80")},
        control("13"),
        control("03"),
        control("0E"),
        control("0A"),
        control("0B"),
        control("02"),
        control("0D"),
    }};
}

} // namespace dispenser
