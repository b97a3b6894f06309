#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class TCustomComPort;

// Keeps an open port through the loss of its device: when the device goes away it tells its
// subscriber, then tries once a second to open the device again under the same path (or the same
// serial/by-id link), and tells when it is back. Lives in the port's thread; the port stays open
// for its owner all the while, and polling on it is held, not stopped.
class TPortWatch : public QObject
{
public:
    using TPortEvent = std::function<void(TCustomComPort* sender)>;

    explicit TPortWatch(TCustomComPort& port);
    ~TPortWatch() override;
    TPortWatch(const TPortWatch&) = delete;
    TPortWatch& operator=(const TPortWatch&) = delete;

    // Once per loss, after the port has let go of the device.
    TPortEvent OnVanish;
    // Once the device is open again with the port's settings.
    TPortEvent OnReturn;

    // Attempts to open the device again since the watch was made.
    int Attempts() const { return Attempts_; }

private:
    void Vanished();
    void TryReturn();

    TCustomComPort& Port_;
    QTimer Timer_;
    int Attempts_ = 0;
};

// "Порт отключен: /dev/ttyUSB0", for the status bar and the alarm log.
QString PortVanishedText(const QString& port);
// "Порт /dev/ttyUSB0 восстановлен".
QString PortReturnedText(const QString& port);
