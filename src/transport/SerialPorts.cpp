#include "transport/SerialPorts.h"

#include "transport/EComPort.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>

namespace {

TSerialPortRoots& Roots()
{
    static TSerialPortRoots roots;
    return roots;
}

[[noreturn]] void ListFailed(int code)
{
    throw EComPort(ecRegistry, code);
}

// The entries of a folder; a folder that may be missing and is gives none.
QStringList FolderEntries(const QString& folder, bool mayBeMissing)
{
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        const int code = errno;
        if (mayBeMissing && code == ENOENT)
            return {};
        ListFailed(code);
    }
    QStringList names;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names << QFile::decodeName(entry->d_name);
        errno = 0;
    }
    const int code = errno;
    closedir(dir);
    if (code != 0)
        ListFailed(code);
    return names;
}

// The name the port opens the tty under: COMn is /dev/ttyS<n-1>, any other name lies in /dev.
QString PortName(const QString& tty)
{
    static const QRegularExpression serial(QStringLiteral("^ttyS(\\d{1,6})$"));
    if (const QRegularExpressionMatch match = serial.match(tty); match.hasMatch())
        return QStringLiteral("COM%1").arg(match.captured(1).toInt() + 1);
    return tty;
}

}  // namespace

bool SerialPortNameLess(const QString& a, const QString& b)
{
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;  // names differing only in case keep a fixed order
}

TSerialPortRoots SetSerialPortRoots(TSerialPortRoots roots)
{
    std::swap(Roots(), roots);
    return roots;
}

void ListSerialPorts(QStringList& target)
{
    const TSerialPortRoots& roots = Roots();
    QStringList ports;
    for (const QString& tty : FolderEntries(roots.Classes, false)) {
        // Consoles, pseudo-terminals and virtual terminals have no device behind them.
        if (QFileInfo::exists(roots.Classes + u'/' + tty + QStringLiteral("/device")))
            ports << PortName(tty);
    }
    const QString links = roots.Devices + QStringLiteral("/serial/by-id");
    for (const QString& link : FolderEntries(links, true))
        ports << links + u'/' + link;
    std::sort(ports.begin(), ports.end(), SerialPortNameLess);
    target = ports;
}

QString StableSerialLink(const QString& path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty())
        return QString();
    const QString links = Roots().Devices + QStringLiteral("/serial/by-id");
    try {
        for (const QString& link : FolderEntries(links, true))
            if (QFileInfo(links + u'/' + link).canonicalFilePath() == device)
                return links + u'/' + link;
    } catch (const EComPort&) {
        // An unreadable folder: the device comes back only under its own path.
    }
    return QString();
}

namespace {

QString Attribute(const QString& folder, const char* name)
{
    QFile file(folder + u'/' + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.read(256)).trimmed() : QString();
}

}  // namespace

TUsbIdentity UsbIdentity(const QString& path)
{
    const QString node = QFileInfo(path).canonicalFilePath();
    if (node.isEmpty())
        return {};
    // The tty's device is the adapter's interface (or the adapter itself): the USB device with
    // its ids is that folder or one above it.
    QString folder = QFileInfo(Roots().Classes + u'/' + QFileInfo(node).fileName() + QStringLiteral("/device"))
                         .canonicalFilePath();
    for (int level = 0; level < 4 && !folder.isEmpty(); ++level) {
        if (QFileInfo::exists(folder + QStringLiteral("/idVendor")))
            return {Attribute(folder, "idVendor"), Attribute(folder, "idProduct"), Attribute(folder, "serial")};
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return {};
}

QString UsbIdentityText(const TUsbIdentity& identity)
{
    if (identity.IsEmpty())
        return QStringLiteral("не USB-адаптер");
    return identity.Vendor + u':' + identity.Product + QStringLiteral(", серийный номер ") +
           (identity.Serial.isEmpty() ? QStringLiteral("нет") : identity.Serial);
}
