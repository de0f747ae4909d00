#include "comnaming.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <tuple>

namespace ports {

namespace {

struct KernelName {
    QString stem;   // "ttyUSB"
    qint64 number;  // 10; -1 when the name has no trailing digits
};

KernelName splitKernelName(const QString& name)
{
    // \z, not $: "$" also matches before a final line feed, and "ttyS1\n" is no ttyS1.
    static const QRegularExpression split(QStringLiteral("\\A(.*?)([0-9]{1,9})\\z"));
    const QRegularExpressionMatch match = split.match(name);
    if (!match.hasMatch())
        return {name, -1};
    return {match.captured(1), match.captured(2).toLongLong()};
}

int group(const SystemPort& port)
{
    switch (port.kind) {
    case PortKind::Uart:
        return 0;
    case PortKind::Usb:
    case PortKind::UsbAcm:
        return 1;
    default:
        return 2;
    }
}

} // namespace

QList<PortEntry> nameSystemPorts(const QList<SystemPort>& ports)
{
    QList<PortEntry> named;
    QList<SystemPort> rest;
    int highest = 0;
    for (const SystemPort& port : ports) {
        const KernelName kernel = splitKernelName(port.kernelName);
        if (kernel.stem == QLatin1String("ttyS") && kernel.number >= 0 && kernel.number < 100000) {
            const int number = int(kernel.number) + 1;
            highest = std::max(highest, number);
            named.append(PortEntry{QStringLiteral("COM%1").arg(number), port.devicePath, port.kind,
                                   port.description});
        } else {
            rest.append(port);
        }
    }
    std::sort(rest.begin(), rest.end(), [](const SystemPort& a, const SystemPort& b) {
        const KernelName ka = splitKernelName(a.kernelName);
        const KernelName kb = splitKernelName(b.kernelName);
        return std::tuple(group(a), ka.stem, ka.number, a.kernelName)
            < std::tuple(group(b), kb.stem, kb.number, b.kernelName);
    });
    int next = highest;
    for (const SystemPort& port : rest)
        named.append(PortEntry{QStringLiteral("COM%1").arg(++next), port.devicePath, port.kind,
                               port.description});
    sortByComName(named);
    return named;
}

QList<PortEntry> mergePorts(const QList<PortEntry>& virtualPorts, const QList<PortEntry>& realPorts)
{
    QList<PortEntry> merged = virtualPorts;
    QSet<QString> taken;
    for (const PortEntry& entry : virtualPorts)
        taken.insert(entry.name);
    for (const PortEntry& entry : realPorts) {
        if (!taken.contains(entry.name))
            merged.append(entry);
    }
    sortByComName(merged);
    return merged;
}

} // namespace ports
