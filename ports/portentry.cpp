#include "portentry.h"

#include "comname.h"

#include <algorithm>

namespace ports {

QString kindText(PortKind kind)
{
    switch (kind) {
    case PortKind::Virtual:
        return QStringLiteral("виртуальный порт");
    case PortKind::Uart:
        return QStringLiteral("порт на плате (UART)");
    case PortKind::Usb:
        return QStringLiteral("USB-адаптер");
    case PortKind::UsbAcm:
        return QStringLiteral("USB-устройство (CDC ACM)");
    case PortKind::Bluetooth:
        return QStringLiteral("Bluetooth (RFCOMM)");
    case PortKind::Other:
        break;
    }
    return QStringLiteral("последовательный порт");
}

QString entryToolTip(const PortEntry& entry)
{
    QString text = entry.devicePath + QStringLiteral(" — ") + kindText(entry.kind);
    if (!entry.description.isEmpty())
        text += QStringLiteral(": ") + entry.description;
    return text;
}

int comNumber(const QString& name)
{
    // The rule the port list on Windows uses too.
    return comNumberOf(name.toStdString());
}

void sortByComName(QList<PortEntry>& entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const PortEntry& a, const PortEntry& b) {
        const int na = comNumber(a.name);
        const int nb = comNumber(b.name);
        if ((na < 0) != (nb < 0))
            return na >= 0;
        if (na != nb)
            return na < nb;
        return a.name < b.name;
    });
}

} // namespace ports
