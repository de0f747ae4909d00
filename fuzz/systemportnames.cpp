// The COM names given to the ports the kernel lists, and the merge with the virtual
// ports: names are the kernel's, so any text a directory entry can carry.

#include "fuzzcheck.h"

#include "systemportnames.h"

#include <QRegularExpression>
#include <QSet>

#include <fuzzer/FuzzedDataProvider.h>

using namespace ports;

namespace {

QString kernelName(FuzzedDataProvider& in)
{
    static const char* const stems[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm", ""};
    const QString stem = QString::fromLatin1(in.PickValueInArray(stems));
    return stem + fuzz::typedText(in.ConsumeRandomLengthString(12));
}

// The number of a ttyS port the way the kernel writes it: decimal, no leading zero.
std::optional<int> uartNumber(const QString& name)
{
    static const QRegularExpression ttyS(QStringLiteral("\\AttyS(0|[1-9][0-9]{0,4})\\z"));
    const QRegularExpressionMatch match = ttyS.match(name);
    return match.hasMatch() ? std::optional<int>(match.captured(1).toInt()) : std::nullopt;
}

void checkComNumber(const QString& name)
{
    const int n = comNumber(name);
    if (n < 0)
        return;
    const QString digits = name.mid(3);
    bool decimal = name.startsWith(QStringLiteral("COM")) && !digits.isEmpty();
    for (QChar c : digits)
        decimal = decimal && c >= u'0' && c <= u'9';
    fuzz::check(decimal && n <= 999999 && digits.toInt() == n, "a COM number read from something else", name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    QList<SystemPort> system;
    QSet<QString> kernelNames;
    int highestUart = 0;
    for (int count = in.ConsumeIntegralInRange(0, 12); count > 0; --count) {
        SystemPort port{kernelName(in), QString(), PortKind(in.ConsumeIntegralInRange(0, int(PortKind::Other))), {}};
        // Directory entries are unique, and the kernel writes no leading zeros.
        static const QRegularExpression paddedUart(QStringLiteral("^ttyS0[0-9]"));
        if (kernelNames.contains(port.kernelName) || paddedUart.match(port.kernelName).hasMatch())
            continue;
        kernelNames.insert(port.kernelName);
        port.devicePath = QStringLiteral("/dev/") + port.kernelName;
        if (const auto n = uartNumber(port.kernelName))
            highestUart = std::max(highestUart, *n + 1);
        system << port;
    }

    const QList<PortEntry> named = nameSystemPorts(system);
    fuzz::check(named.size() == system.size(), "a port lost or gained in naming");
    QSet<QString> names;
    int previous = 0;
    for (const PortEntry& entry : named) {
        checkComNumber(entry.name);
        const int n = comNumber(entry.name);
        fuzz::check(n > previous, "names not unique or not in COM order", entry.name);
        previous = n;
        names.insert(entry.name);
        const auto source = std::find_if(system.begin(), system.end(),
                                         [&](const SystemPort& p) { return p.devicePath == entry.devicePath; });
        fuzz::check(source != system.end(), "a name for a device that is not there", entry.devicePath);
        if (const auto uart = uartNumber(source->kernelName))
            fuzz::check(n == *uart + 1, "ttyS<n> is not COM<n+1>", source->kernelName + u' ' + entry.name);
        else
            fuzz::check(n > highestUart, "an adapter took a board UART's number range", entry.name);
    }

    // Virtual ports win their names; every real port keeps its own unless a virtual one took it.
    QList<PortEntry> virtualPorts;
    QSet<QString> virtualNames;
    for (int count = in.ConsumeIntegralInRange(0, 6); count > 0; --count) {
        const QString name = QStringLiteral("COM") + fuzz::typedText(in.ConsumeRandomLengthString(4));
        checkComNumber(name);
        if (virtualNames.contains(name))
            continue;
        virtualNames.insert(name);
        virtualPorts << PortEntry{name, QStringLiteral("/dev/pts/") + QString::number(virtualPorts.size()),
                                  PortKind::Virtual, {}};
    }
    const QList<PortEntry> merged = mergePorts(virtualPorts, named);
    for (const PortEntry& entry : virtualPorts)
        fuzz::check(merged.count(entry) == 1, "a virtual port lost in the merge", entry.name);
    for (const PortEntry& entry : named)
        fuzz::check(merged.count(entry) == int(!virtualNames.contains(entry.name)),
                    "a real port kept a taken name or lost its own", entry.name);
    fuzz::check(merged.size() == virtualPorts.size() + (names - virtualNames).size(), "the merge invented ports");
    bool numberedPart = true;
    int last = -1;
    for (const PortEntry& entry : merged) {
        const int n = comNumber(entry.name);
        fuzz::check(n < 0 || (numberedPart && n >= last), "the merged list is not in COM order", entry.name);
        numberedPart = n >= 0;
        last = n;
    }
    return 0;
}
