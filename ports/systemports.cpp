#include "systemports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ports {

namespace {

QString readAttribute(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(512)).trimmed();
}

// The last part of a symlink's target, whether or not the target exists (driver links).
QString linkTargetName(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    char buffer[4096];
    const ssize_t length = ::readlink(encoded.constData(), buffer, sizeof buffer - 1);
    if (length <= 0)
        return {};
    const QString target = QFile::decodeName(QByteArray(buffer, int(length)));
    return target.section(QLatin1Char('/'), -1);
}

// "<stem><digits>" and nothing else; the digits may run as long as they like.
bool isStemAndNumber(QStringView name, QLatin1StringView stem)
{
    if (!name.startsWith(stem) || name.size() == stem.size())
        return false;
    const QStringView digits = name.mid(stem.size());
    return std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool isRfcommName(const QString& name)
{
    return isStemAndNumber(name, QLatin1StringView("rfcomm"));
}

// The 8250 family: the driver is called serial8250 on older kernels and hides behind the
// serial-base bus ("port") on newer ones, so the name is the steadier sign.
bool isEightTwoFifty(const QString& name, const QString& driver)
{
    return driver == QLatin1String("serial8250") || isStemAndNumber(name, QLatin1StringView("ttyS"));
}

// The names in a directory, sorted; empty when it cannot be read. Plain readdir: the
// list is read at start and whenever the port list opens, and most of its entries are
// consoles that one look at `device` rules out.
QStringList directoryNames(const QString& path)
{
    QStringList names;
    DIR* const dir = ::opendir(QFile::encodeName(path).constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') // ".", ".." and hidden names, as QDir leaves them out
            names << QFile::decodeName(entry->d_name);
    }
    ::closedir(dir);
    names.sort();
    return names;
}

bool pathExists(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), F_OK) == 0;
}

// Only for 8250 ports on kernels that do not show `type`: ask the driver. The node is opened
// only when it is a character device, so a test tree of plain files is never probed and a
// real port is opened without becoming anyone's controlling terminal.
bool uartAnswersIoctl(const QString& devicePath)
{
    const QByteArray encoded = QFile::encodeName(devicePath);
    struct stat status {};
    if (::stat(encoded.constData(), &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    const int fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info {};
    const bool answered = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return answered;
}

// The USB device a port hangs under: the nearest directory above the tty's device that has
// `idVendor`, no higher than the sysfs root.
QString usbDeviceDirectory(const QString& deviceDir, const QString& sysRootCanonical)
{
    QString dir = QFileInfo(deviceDir).canonicalFilePath();
    for (int depth = 0; depth < 32 && !dir.isEmpty(); ++depth) {
        if (dir.size() <= sysRootCanonical.size() || !dir.startsWith(sysRootCanonical))
            return {};
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor")))
            return dir;
        dir = QFileInfo(dir).path();
    }
    return {};
}

QString usbDescription(const QString& usbDir)
{
    QStringList parts;
    for (const char* attribute : {"product", "manufacturer"}) {
        const QString value = readAttribute(usbDir + QLatin1Char('/') + QLatin1String(attribute));
        if (!value.isEmpty())
            parts << value;
    }
    const QString vendor = readAttribute(usbDir + QStringLiteral("/idVendor"));
    const QString product = readAttribute(usbDir + QStringLiteral("/idProduct"));
    if (!vendor.isEmpty() && !product.isEmpty())
        parts << vendor + QLatin1Char(':') + product;
    const QString serial = readAttribute(usbDir + QStringLiteral("/serial"));
    if (!serial.isEmpty())
        parts << QStringLiteral("s/n ") + serial;
    return parts.join(QStringLiteral(", "));
}

} // namespace

QList<SystemPort> scanSystemPorts(const QString& sysRoot, const QString& devRoot)
{
    QList<SystemPort> found;
    const QString sysRootCanonical = QFileInfo(sysRoot).canonicalFilePath();
    const QString classDir = QDir(sysRoot).filePath(QStringLiteral("class/tty"));
    for (const QString& name : directoryNames(classDir)) {
        const QString ttyDir = classDir + QLatin1Char('/') + name;
        const QString deviceDir = ttyDir + QStringLiteral("/device");
        const bool hasDevice = pathExists(deviceDir);
        const bool rfcomm = isRfcommName(name);
        if (!hasDevice && !rfcomm)
            continue;

        const QString devicePath = QDir(devRoot).filePath(name);
        const QString driver = hasDevice ? linkTargetName(deviceDir + QStringLiteral("/driver"))
                                         : QString();
        const QString typePath = ttyDir + QStringLiteral("/type");
        const bool serialCore = QFileInfo::exists(typePath);
        if (serialCore) {
            bool isNumber = false;
            const int type = readAttribute(typePath).toInt(&isNumber);
            if (isNumber && type == PORT_UNKNOWN)
                continue;
        } else if (isEightTwoFifty(name, driver) && !uartAnswersIoctl(devicePath)) {
            continue;
        }
        if (!QFileInfo::exists(devicePath))
            continue;

        SystemPort port{name, devicePath, PortKind::Other, {}};
        const QString usbDir = hasDevice ? usbDeviceDirectory(deviceDir, sysRootCanonical)
                                         : QString();
        if (rfcomm) {
            port.kind = PortKind::Bluetooth;
        } else if (!usbDir.isEmpty()) {
            const bool acm = name.startsWith(QLatin1String("ttyACM"))
                || driver == QLatin1String("cdc_acm");
            port.kind = acm ? PortKind::UsbAcm : PortKind::Usb;
            port.description = usbDescription(usbDir);
        } else if (serialCore || isEightTwoFifty(name, driver)) {
            // The driver's name says nothing here (newer kernels show a generic "port").
            port.kind = PortKind::Uart;
        } else {
            port.description = driver;
        }
        found.append(port);
    }
    return found;
}

} // namespace ports
