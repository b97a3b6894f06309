#include "publish/PublishUnit.h"

#include "common/OperatorMessage.h"
#include "device/Vantor.h"
#include "history/HistoryStore.h"
#include "publish/MqttSettings.h"
#include "publish/Payloads.h"
#include "publish/Publisher.h"

#include <memory>

namespace {

std::unique_ptr<TPublisher> Instance;
bool Warned = false;

}  // namespace

bool PublishingEnabled() { return ReadMqttSettings(MqttSettingsPath()).Enabled; }

void PublishStartup()
{
    if (Instance)
        return;
    QString warning;
    const TMqttSettings settings = ReadMqttSettings(MqttSettingsPath(), &warning);
    if (!settings.Enabled)
        return;
    if (!warning.isEmpty() && !Warned) {
        Warned = true;
        ShowMessage(kCaptionWarning, warning, TMessageIcon::Warning);
    }
    const QString invalid = ValidateMqttSettings(settings);
    if (!invalid.isEmpty()) {
        ShowMessage(kCaptionError, QStringLiteral("Публикация MQTT не ведется.\r") + invalid, TMessageIcon::Error);
        return;
    }
    Instance = std::make_unique<TPublisher>(settings, HistoryPath());
}

void PublishShutdown()
{
    Instance.reset();
}

TPublisher* Publisher() { return Instance.get(); }

void PublishPolledGroup(const TVantor& vantor, int g, bool groupRead, qint64 time)
{
    if (!Instance)
        return;
    Instance->SetRetained(QStringLiteral("controller"), [c = SnapshotOf(vantor, time)] { return ControllerPayload(c); });
    // A failed cycle leaves the last readings, which are not new: only the controller's state is.
    if (!groupRead || g < 1 || g > vantor::kInputCount)
        return;
    const int last = qMin(g + vantor::kGroupSize - 1, vantor::kInputCount);
    // Copies of the values only: the JSON is made on the publisher's thread.
    for (int n = g; n <= last; ++n)
        Instance->SetRetained(QStringLiteral("input/%1").arg(n),
                              [s = SnapshotOf(vantor.Input(n), n, time)] { return InputPayload(s); });
}
