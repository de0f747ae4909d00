#pragma once
// The frame texts of the meter's requests.

#include <QString>

namespace meter {

// A read of one quantity: "60 " + address + code + "*". The address read goes to
// the broadcast address F0, since the meter's own address is what it asks for.
QString readRequestText(const QString& address, const QString& code);

} // namespace meter
