#include "systemportnames.h"

#include <QSet>

#include <algorithm>
#include <tuple>

namespace ports {

namespace {

struct KernelName {
    QString stem;   // "ttyUSB"
    qint64 number;  // 10; -1 when the name has no trailing digits
};

// The trailing number of a kernel name, at most nine digits ("ttyUSB10" → "ttyUSB", 10);
// a longer run of digits leaves the ones before the last nine in the stem.
KernelName splitKernelName(const QString& name)
{
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    qsizetype digits = 0;
    while (digits < 9 && digits < name.size() && isDigit(name[name.size() - 1 - digits]))
        ++digits;
    if (digits == 0)
        return {name, -1};
    return {name.left(name.size() - digits), name.right(digits).toLongLong()};
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
