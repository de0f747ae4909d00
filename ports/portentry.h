#pragma once
// One name the operator can choose in the port list, and the device it stands for.

#include <QList>
#include <QString>

namespace ports {

enum class PortKind {
    Virtual,   // a link in the virtual ports directory (device simulator, socat)
    Uart,      // a UART on the board or on an expansion card
    Usb,       // a USB serial adapter (ttyUSB)
    UsbAcm,    // a USB device that is its own modem-class port (ttyACM)
    Bluetooth, // an RFCOMM link
    Other,
};

struct PortEntry {
    QString name;        // "COM3"
    QString devicePath;  // what open(2) is given: "/dev/ttyUSB0", "/dev/pts/4"
    PortKind kind = PortKind::Other;
    // What the hardware says about itself (USB product, maker, ids, serial number; the UART
    // driver); for a virtual port the link it was found through. May be empty.
    QString description;

    friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

// A short Russian name of the kind, for the operator.
QString kindText(PortKind kind);

// "/dev/ttyUSB0 — USB-адаптер: FT232R USB UART, FTDI, 0403:6001": what the name means on this
// machine, for the tooltip of the port list and the error box of a failed open.
QString entryToolTip(const PortEntry& entry);

// The number after "COM" when the rest of the name is decimal digits only (comname.h, the
// rule the port list on Windows follows too); -1 otherwise
// (not a COM name, no digits, a sign, blanks, or too long to be a port number).
int comNumber(const QString& name);

// Numbered names first by number, then the rest by name; so the list reads COM1, COM2, …
// whatever order the directories were read in.
void sortByComName(QList<PortEntry>& entries);

} // namespace ports
