#include "transport/PortWatch.h"

#include "transport/ComPort.h"
#include "transport/SerialLine.h"
#include "transport/SerialPorts.h"

#include <QFileInfo>

namespace {

// An open() of a missing path once a second costs nothing measurable; an adapter is back in use
// within a second of being plugged in.
constexpr int kRetryMs = 1000;

}  // namespace

TPortWatch::TPortWatch(TCustomComPort& port) : Port_(port)
{
    Timer_.setInterval(kRetryMs);
    connect(&Timer_, &QTimer::timeout, this, [this] { TryReturn(); });
    Port_.OnDeviceLost = [this](TCustomComPort*) { Vanished(); };
}

TPortWatch::~TPortWatch()
{
    Port_.OnDeviceLost = nullptr;
}

void TPortWatch::Vanished()
{
    Waiting_.clear();
    Timer_.start();
    // A copy: the subscriber may clear the notification from inside it.
    if (const TPortEvent vanish = OnVanish)
        vanish(&Port_);
}

void TPortWatch::TryReturn()
{
    // Closed by its owner meanwhile, or back by an open of its own: nothing left to watch for.
    if (!Port_.Connected() || !Port_.DeviceAway()) {
        Timer_.stop();
        return;
    }
    ++Attempts_;
    if (const QString why = OtherDevice(); !why.isEmpty()) {
        if (why == Waiting_)
            return;
        Waiting_ = why;
        try {
            if (const TPortWait wait = OnWait)
                wait(&Port_, why);
        } catch (...) {
            // Waiting goes on whatever the subscriber does.
        }
        return;
    }
    if (!Port_.Reconnect()) {
        // Nothing there now: an adapter plugged in again later is looked at afresh.
        Waiting_.clear();
        return;
    }
    Timer_.stop();
    Waiting_.clear();
    try {
        if (const TPortEvent back = OnReturn)
            back(&Port_);
    } catch (...) {
        // The port is back whatever the subscriber does.
    }
}

QString TPortWatch::OtherDevice() const
{
    // A stable link names one adapter; a name like ttyUSB0 goes to whichever is plugged in first.
    if (Port_.ReturnsByLink())
        return QString();
    const QString path = PortDevicePath(Port_.ReturnPath());
    if (!QFileInfo::exists(path))
        return QString();
    const TUsbIdentity expected = Port_.OpenedIdentity();
    const TUsbIdentity found = UsbIdentity(path);
    return found == expected ? QString() : PortOtherDeviceText(Port_.Port(), expected, found);
}

QString PortVanishedText(const QString& port)
{
    return QStringLiteral("Порт отключен: ") + port;
}

QString PortReturnedText(const QString& port)
{
    return QStringLiteral("Порт ") + port + QStringLiteral(" восстановлен");
}

QString PortOtherDeviceText(const QString& port, const TUsbIdentity& expected, const TUsbIdentity& found)
{
    return QStringLiteral("Порт ") + port + QStringLiteral(" не открыт: подключен другой адаптер (") +
           UsbIdentityText(found) + QStringLiteral("), ожидается ") + UsbIdentityText(expected);
}
