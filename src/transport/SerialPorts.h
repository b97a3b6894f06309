#pragma once

#include <QString>
#include <QStringList>

// Where the port list is read from; tests point these at a tree of their own.
struct TSerialPortRoots {
    QString Classes = QStringLiteral("/sys/class/tty");  // one entry per tty, "device" behind real ones
    QString Devices = QStringLiteral("/dev");            // serial/by-id holds the stable links
};

// Replaces the roots and returns the previous ones.
TSerialPortRoots SetSerialPortRoots(TSerialPortRoots roots);

// Replaces target with the names of the serial ports the system knows, in case-insensitive order
// (COM1, COM10, COM2): every tty with a device behind it, ttyS<n> named COM<n+1> as the port
// opens it, and the full paths of the links under serial/by-id. A list that cannot be read raises
// EComPort number 23 with errno; a missing by-id folder only means no such links.
void ListSerialPorts(QStringList& target);

// The serial/by-id link that leads to the same device as path, or an empty text.
QString StableSerialLink(const QString& path);

// What a USB serial adapter says it is (sysfs idVendor, idProduct and serial); all empty for a
// device that is not on USB, a built-in port or a pseudo-terminal.
struct TUsbIdentity
{
    QString Vendor;
    QString Product;
    QString Serial;

    bool IsEmpty() const { return Vendor.isEmpty() && Product.isEmpty(); }
    bool operator==(const TUsbIdentity&) const = default;
};

// The identity of the adapter behind the device node at path, found under the tty classes root.
TUsbIdentity UsbIdentity(const QString& path);
// "0403:6001, серийный номер A10K3"; "не USB-адаптер" when empty.
QString UsbIdentityText(const TUsbIdentity& identity);

// The order of the port list: letter case ignored.
bool SerialPortNameLess(const QString& a, const QString& b);
