#pragma once
// A made-up /sys, /dev and virtual ports directory inside a temporary directory, shaped the
// way the kernel lays them out, so enumeration runs against known hardware and never against
// this machine's ports.

#include "portdirectory.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

struct UsbIdentity {
    QString vendorId = QStringLiteral("0403");
    QString productId = QStringLiteral("6001");
    QString product;
    QString manufacturer;
    QString serial;
};

class FakeTree {
public:
    FakeTree();

    bool isValid() const { return ok_; }
    ports::PortRoots roots() const;
    QString root() const { return dir_.path(); }
    // A path inside the tree with the tree's own prefix cut off, for comparing results.
    QString relative(const QString& path) const;

    // Board UART: `type` 0 is a phantom port, anything else a UART that answered.
    void addUart(const QString& name, int type, const QString& driver = QStringLiteral("serial8250"));
    // An 8250 port of a kernel that shows no `type` attribute.
    void addUartWithoutType(const QString& name);
    void addUsbSerial(const QString& name, const QString& usbPort, const UsbIdentity& id = {},
                      const QString& driver = QStringLiteral("ftdi_sio"));
    void addUsbAcm(const QString& name, const QString& usbPort, const UsbIdentity& id = {});
    void addConsole(const QString& name);        // no device link
    void addRfcomm(const QString& name);         // no device link either
    void removeDeviceNode(const QString& name);

    // A file standing for a device (a pty) and a virtual port link to it.
    void addVirtual(const QString& name, const QString& target);
    void addDanglingVirtual(const QString& name);
    void addPlainFileInVirtualDirectory(const QString& name);

private:
    QString makeDir(const QString& relativePath);
    void writeFile(const QString& relativePath, const QString& text);
    void link(const QString& relativeLink, const QString& target);
    // The tty's class directory under `deviceDir`, its `device` and class/tty links, its node.
    QString addTty(const QString& name, const QString& deviceDir, const QString& driver);

    QTemporaryDir dir_;
    bool ok_ = true;
};
