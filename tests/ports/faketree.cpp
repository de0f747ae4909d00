#include "faketree.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

FakeTree::FakeTree()
{
    ok_ = dir_.isValid();
    makeDir(QStringLiteral("sys/class/tty"));
    makeDir(QStringLiteral("dev"));
}

ports::PortRoots FakeTree::roots() const
{
    return {dir_.filePath(QStringLiteral("sys")), dir_.filePath(QStringLiteral("dev")),
            dir_.filePath(QStringLiteral("run/ports"))};
}

QString FakeTree::relative(const QString& path) const
{
    const QString prefix = QFileInfo(dir_.path()).canonicalFilePath() + QLatin1Char('/');
    if (path.startsWith(prefix))
        return path.mid(prefix.size());
    const QString plain = dir_.path() + QLatin1Char('/');
    return path.startsWith(plain) ? path.mid(plain.size()) : path;
}

QString FakeTree::makeDir(const QString& relativePath)
{
    ok_ = ok_ && QDir(dir_.path()).mkpath(relativePath);
    return relativePath;
}

void FakeTree::writeFile(const QString& relativePath, const QString& text)
{
    QFile file(dir_.filePath(relativePath));
    ok_ = ok_ && file.open(QIODevice::WriteOnly) && file.write(text.toUtf8() + '\n') >= 0;
}

void FakeTree::link(const QString& relativeLink, const QString& target)
{
    const QByteArray from = QFile::encodeName(dir_.filePath(relativeLink));
    ok_ = ok_ && ::symlink(QFile::encodeName(target).constData(), from.constData()) == 0;
}

QString FakeTree::addTty(const QString& name, const QString& deviceDir, const QString& driver)
{
    const QString classDir = makeDir(deviceDir + QStringLiteral("/tty/") + name);
    // Phantom ports share one device, and with it one driver link.
    if (!driver.isEmpty() && !QFileInfo(dir_.filePath(deviceDir + QStringLiteral("/driver"))).isSymLink()) {
        makeDir(QStringLiteral("sys/bus/drivers/") + driver);
        // Relative, as the kernel makes them: the code must follow links, not trust paths.
        const int depth = deviceDir.count(QLatin1Char('/'));
        link(deviceDir + QStringLiteral("/driver"),
             QStringLiteral("../").repeated(depth) + QStringLiteral("bus/drivers/") + driver);
    }
    link(classDir + QStringLiteral("/device"), QStringLiteral("../.."));
    link(QStringLiteral("sys/class/tty/") + name, QStringLiteral("../../") + classDir.mid(4));
    writeFile(QStringLiteral("dev/") + name, {});
    return classDir;
}

void FakeTree::addUart(const QString& name, int type, const QString& driver)
{
    // Phantom 8250 ports all hang under the driver's platform device; real ones under their
    // own bus address.
    const QString deviceDir = type == 0 ? QStringLiteral("sys/devices/platform/serial8250")
                                        : QStringLiteral("sys/devices/pnp0/port-") + name;
    makeDir(deviceDir);
    const QString classDir = addTty(name, deviceDir, driver);
    writeFile(classDir + QStringLiteral("/type"), QString::number(type));
}

void FakeTree::addUartWithoutType(const QString& name)
{
    const QString deviceDir = QStringLiteral("sys/devices/platform/serial8250");
    makeDir(deviceDir);
    addTty(name, deviceDir, QStringLiteral("serial8250"));
}

void FakeTree::addUsbSerial(const QString& name, const QString& usbPort, const UsbIdentity& id,
                            const QString& driver)
{
    const QString usbDir = QStringLiteral("sys/devices/pci0000:00/0000:00:14.0/usb1/") + usbPort;
    makeDir(usbDir);
    writeFile(usbDir + QStringLiteral("/idVendor"), id.vendorId);
    writeFile(usbDir + QStringLiteral("/idProduct"), id.productId);
    if (!id.product.isEmpty())
        writeFile(usbDir + QStringLiteral("/product"), id.product);
    if (!id.manufacturer.isEmpty())
        writeFile(usbDir + QStringLiteral("/manufacturer"), id.manufacturer);
    if (!id.serial.isEmpty())
        writeFile(usbDir + QStringLiteral("/serial"), id.serial);
    const QString interfaceDir = makeDir(usbDir + QLatin1Char('/') + usbPort + QStringLiteral(":1.0"));
    if (driver == QLatin1String("cdc_acm")) {
        addTty(name, interfaceDir, driver);
    } else {
        const QString portDir = makeDir(interfaceDir + QLatin1Char('/') + name);
        addTty(name, portDir, driver);
    }
}

void FakeTree::addUsbAcm(const QString& name, const QString& usbPort, const UsbIdentity& id)
{
    addUsbSerial(name, usbPort, id, QStringLiteral("cdc_acm"));
}

void FakeTree::addConsole(const QString& name)
{
    makeDir(QStringLiteral("sys/devices/virtual/tty/") + name);
    link(QStringLiteral("sys/class/tty/") + name, QStringLiteral("../../devices/virtual/tty/") + name);
    writeFile(QStringLiteral("dev/") + name, {});
}

void FakeTree::addRfcomm(const QString& name)
{
    addConsole(name);
}

void FakeTree::removeDeviceNode(const QString& name)
{
    ok_ = ok_ && QFile::remove(dir_.filePath(QStringLiteral("dev/") + name));
}

void FakeTree::addVirtual(const QString& name, const QString& target)
{
    makeDir(QStringLiteral("run/ports"));
    makeDir(QFileInfo(target).path());
    writeFile(target, {});
    link(QStringLiteral("run/ports/") + name, dir_.filePath(target));
}

void FakeTree::addDanglingVirtual(const QString& name)
{
    makeDir(QStringLiteral("run/ports"));
    link(QStringLiteral("run/ports/") + name, dir_.filePath(QStringLiteral("gone/pts/9")));
}

void FakeTree::addPlainFileInVirtualDirectory(const QString& name)
{
    makeDir(QStringLiteral("run/ports"));
    writeFile(QStringLiteral("run/ports/") + name, {});
}
