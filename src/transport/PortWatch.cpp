#include "transport/PortWatch.h"

#include "transport/ComPort.h"

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
    if (!Port_.Reconnect())
        return;
    Timer_.stop();
    try {
        if (const TPortEvent back = OnReturn)
            back(&Port_);
    } catch (...) {
        // The port is back whatever the subscriber does.
    }
}

QString PortVanishedText(const QString& port)
{
    return QStringLiteral("Порт отключен: ") + port;
}

QString PortReturnedText(const QString& port)
{
    return QStringLiteral("Порт ") + port + QStringLiteral(" восстановлен");
}
