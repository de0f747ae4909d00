#pragma once
// Which list position of the line-settings window stands for which component value.
// The tables serve both directions: showing the port's settings and applying the
// chosen ones.

#include "commtypes.h"

#include <QStringList>
#include <optional>

namespace ComPortNastroika {

QStringList speedItems();
QStringList dataBitsItems();
QStringList parityItems();
QStringList stopBitsItems();

std::optional<commport::TBaudRate> speedAt(int position);
std::optional<commport::TDatabits> dataBitsAt(int position);
std::optional<commport::TParity> parityAt(int position);
std::optional<commport::TStopbits> stopBitsAt(int position);

// -1 where the value has no position (56000, 128000 and 256000 bit/s).
int positionOf(commport::TBaudRate rate);
int positionOf(commport::TParity parity);
int positionOf(commport::TStopbits stopBits);

} // namespace ComPortNastroika
