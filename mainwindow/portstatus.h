#pragma once
// The texts and colours the port's status is shown in.

#include <QColor>
#include <QString>

namespace mainwindow {

inline const QColor kPortClosedColour(255, 0, 0);
inline const QColor kPortOpenColour(0, 128, 0);
// Amber: the port is closed, but the console holds on to it until its device is back.
inline const QColor kPortWaitingColour(255, 192, 0);

inline QString portClosedText() { return QStringLiteral("COM-порт ЗАКРЫТ"); }
inline QString portOpeningText() { return QStringLiteral("Устройство не подключено! COM-порт ЗАКРЫТ"); }
inline QString portOpenText() { return QStringLiteral("COM-порт ОТКРЫТ"); }

} // namespace mainwindow
