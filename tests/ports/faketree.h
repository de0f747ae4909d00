#pragma once
// A made-up /sys, /dev and virtual ports directory inside a temporary directory, shaped the
// way the kernel lays them out (relative links included), so enumeration runs against known
// hardware and never against this machine's ports.

#include "portdirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

struct UsbIdentity {
    QString vendorId = QStringLiteral("0403");
    QString productId = QStringLiteral("6001");
    QString product, manufacturer, serial;
};

class FakeTree {
public:
    bool isValid() const { return ok_; }
    ports::PortRoots roots() const
    {
        return {dir_.filePath("sys"), dir_.filePath("dev"), dir_.filePath("run/ports")};
    }
    // A path inside the tree with the tree's prefix cut off, for comparing results.
    QString relative(const QString& path) const
    {
        // Virtual ports come back resolved, so the temporary directory may appear either way.
        for (const QString& root : {dir_.path(), QFileInfo(dir_.path()).canonicalFilePath()}) {
            if (path.startsWith(root + '/'))
                return path.mid(root.size() + 1);
        }
        return path;
    }

    // `type` 0 is a phantom port; -1 leaves the attribute out, as old kernels do.
    void addUart(const QString& name, int type, const QString& driver = "serial8250")
    {
        // Phantom 8250 ports all hang under the driver's platform device.
        const QString deviceDir = type <= 0 ? "sys/devices/platform/serial8250"
                                            : "sys/devices/pnp0/port-" + name;
        const QString classDir = addTty(name, deviceDir, driver);
        if (type >= 0)
            writeFile(classDir + "/type", QString::number(type));
    }
    // ttyUSB hangs under its usb-serial port, ttyACM (driver cdc_acm) under the interface.
    void addUsb(const QString& name, const QString& usbPort, const UsbIdentity& id = {},
                const QString& driver = "ftdi_sio")
    {
        const QString usbDir = "sys/devices/pci0000:00/usb1/" + usbPort;
        makeDir(usbDir);
        const QList<std::pair<const char*, QString>> attributes{
            {"idVendor", id.vendorId}, {"idProduct", id.productId}, {"product", id.product},
            {"manufacturer", id.manufacturer}, {"serial", id.serial}};
        for (const auto& [attribute, value] : attributes) {
            if (!value.isEmpty())
                writeFile(usbDir + '/' + attribute, value);
        }
        const QString interfaceDir = usbDir + '/' + usbPort + ":1.0";
        addTty(name, driver == "cdc_acm" ? interfaceDir : interfaceDir + '/' + name, driver);
    }
    // Virtual consoles and unconnected RFCOMM links: no device link.
    void addDeviceless(const QString& name)
    {
        makeDir("sys/devices/virtual/tty/" + name);
        link("sys/class/tty/" + name, "../../devices/virtual/tty/" + name);
        writeFile("dev/" + name, {});
    }
    void removeDeviceNode(const QString& name) { ok_ = ok_ && QFile::remove(dir_.filePath("dev/" + name)); }

    // A file standing for a device (a pty), and a virtual port link to it.
    void addVirtual(const QString& name, const QString& target)
    {
        makeDir(QFileInfo(target).path());
        writeFile(target, {});
        link("run/ports/" + name, dir_.filePath(target));
    }
    // A virtual port published again: a new link renamed over the old one, as the simulator
    // does, so the name never dangles.
    void republishVirtual(const QString& name, const QString& target)
    {
        writeFile(target, {});
        link("run/ports/" + name + ".new", dir_.filePath(target));
        ok_ = ok_ && ::rename(QFile::encodeName(dir_.filePath("run/ports/" + name + ".new")).constData(),
                              QFile::encodeName(dir_.filePath("run/ports/" + name)).constData()) == 0;
    }
    // udev's lasting name for a USB port.
    void addByIdLink(const QString& name, const QString& tty) { link("dev/serial/by-id/" + name, "../../" + tty); }
    // A USB adapter pulled: its device in sysfs, its class entry, its node and its by-id links go.
    void unplugUsb(const QString& tty, const QString& usbPort)
    {
        ok_ = ok_ && QDir(dir_.filePath("sys/devices/pci0000:00/usb1/" + usbPort)).removeRecursively();
        removeFile("sys/class/tty/" + tty);
        removeFile("dev/" + tty);
        const QDir byId(dir_.filePath("dev/serial/by-id"));
        for (const QString& name : byId.entryList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot))
            if (QFileInfo(byId.filePath(name)).symLinkTarget().endsWith("/" + tty))
                removeFile("dev/serial/by-id/" + name);
    }
    void writeNode(const QString& path) { writeFile(path, {}); }
    void removeFile(const QString& path) { ok_ = ok_ && QFile::remove(dir_.filePath(path)); }
    QString path(const QString& relativePath) const { return dir_.filePath(relativePath); }
    void addDanglingVirtual(const QString& name) { link("run/ports/" + name, dir_.filePath("gone/pts/9")); }
    void addPlainFileInVirtualDirectory(const QString& name) { writeFile("run/ports/" + name, {}); }

private:
    // Writable by this user alone whatever the umask: a virtual ports folder others may
    // write to is left alone.
    void makeDir(const QString& path)
    {
        ok_ = ok_ && QDir(dir_.path()).mkpath(path);
        QString folder;
        for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
            folder += (folder.isEmpty() ? QString() : QStringLiteral("/")) + part;
            const QString full = dir_.filePath(folder);
            if (!QFileInfo(full).isSymLink())
                QFile::setPermissions(full, QFile::permissions(full) & ~(QFile::WriteGroup | QFile::WriteOther));
        }
    }
    void writeFile(const QString& path, const QString& text)
    {
        makeDir(QFileInfo(path).path());
        QFile file(dir_.filePath(path));
        ok_ = ok_ && file.open(QIODevice::WriteOnly) && file.write(text.toUtf8() + '\n') >= 0;
    }
    void link(const QString& path, const QString& target)
    {
        makeDir(QFileInfo(path).path());
        ok_ = ok_ && ::symlink(QFile::encodeName(target).constData(),
                               QFile::encodeName(dir_.filePath(path)).constData()) == 0;
    }
    // The tty's class directory under `deviceDir`, its `device`, `driver` and class/tty links,
    // and its node.
    QString addTty(const QString& name, const QString& deviceDir, const QString& driver)
    {
        const QString classDir = deviceDir + "/tty/" + name;
        makeDir(classDir);
        makeDir("sys/bus/drivers/" + driver);
        // Phantom ports share one device, and with it one driver link.
        if (!QFileInfo(dir_.filePath(deviceDir + "/driver")).isSymLink())
            link(deviceDir + "/driver",
                 QString("../").repeated(deviceDir.count('/')) + "bus/drivers/" + driver);
        link(classDir + "/device", "../..");
        link("sys/class/tty/" + name, "../../" + classDir.mid(4));
        writeFile("dev/" + name, {});
        return classDir;
    }

    QTemporaryDir dir_;
    bool ok_ = dir_.isValid();
};
