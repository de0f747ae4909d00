#pragma once
// The controller address as it goes into a frame: two hex digits. The address box
// takes up to two typed characters, so "1" means 01; anything that is not one or two
// hex digits cannot address a controller and sends nothing.

#include <QString>
#include <optional>

namespace transport {

// "1" → "01", "7F" → "7F", "7f" → "7F"; nothing for an empty or non-hex text.
std::optional<QString> frameAddressText(const QString& typed);

// The log line that says why a request was not sent.
QString badAddressLine(const QString& typed);

} // namespace transport
