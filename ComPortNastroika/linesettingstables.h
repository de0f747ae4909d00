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

// The value a list shows, read from its text as the operator sees it: an item's text
// (parity in any case, "1,5" for "1.5"), or for the speed any rate the port knows.
// Nothing for a text that names no value; an empty text names none either.
std::optional<commport::TBaudRate> speedFromText(const QString& text);
std::optional<commport::TDatabits> dataBitsFromText(const QString& text);
std::optional<commport::TParity> parityFromText(const QString& text);
std::optional<commport::TStopbits> stopBitsFromText(const QString& text);

// -1 where the value has no position (56000, 128000 and 256000 bit/s).
int positionOf(commport::TBaudRate rate);
int positionOf(commport::TParity parity);
int positionOf(commport::TStopbits stopBits);

} // namespace ComPortNastroika
