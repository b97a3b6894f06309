#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class TCustomComPort;
struct TUsbIdentity;

// Keeps an open port through the loss of its device: when the device goes away it tells its
// subscriber, then tries once a second to open the device again under the same path (or the same
// serial/by-id link), and tells when it is back. Under a plain path only the same USB adapter
// (vendor, product, serial number) is taken back: another one plugged in under that name is
// left alone, and the subscriber told why. Lives in the port's thread; the port stays open
// for its owner all the while, and polling on it is held, not stopped.
class TPortWatch : public QObject
{
public:
    using TPortEvent = std::function<void(TCustomComPort* sender)>;
    using TPortWait = std::function<void(TCustomComPort* sender, const QString& why)>;

    explicit TPortWatch(TCustomComPort& port);
    ~TPortWatch() override;
    TPortWatch(const TPortWatch&) = delete;
    TPortWatch& operator=(const TPortWatch&) = delete;

    // Once per loss, after the port has let go of the device.
    TPortEvent OnVanish;
    // Once the device is open again with the port's settings.
    TPortEvent OnReturn;
    // Once per reason the device under the port's name is not taken back (another adapter).
    TPortWait OnWait;

    // Attempts to open the device again since the watch was made.
    int Attempts() const { return Attempts_; }

private:
    void Vanished();
    void TryReturn();
    // Another adapter under the plain path: the text that says so, or empty for the same one.
    QString OtherDevice() const;

    TCustomComPort& Port_;
    QTimer Timer_;
    int Attempts_ = 0;
    QString Waiting_;  // the reason last told, so it is told once
};

// "Порт отключен: /dev/ttyUSB0", for the status bar and the alarm log.
QString PortVanishedText(const QString& port);
// "Порт /dev/ttyUSB0 восстановлен".
QString PortReturnedText(const QString& port);
// "Порт /dev/ttyUSB0 не открыт: подключен другой адаптер (1a86:7523, серийный номер нет), ожидается
// 0403:6001, серийный номер A10K3".
QString PortOtherDeviceText(const QString& port, const TUsbIdentity& expected, const TUsbIdentity& found);
