#pragma once

#include "publish/MqttSettings.h"

#include <QString>

// Why a TLS connection to the broker failed, found by a handshake of its own with the settings'
// files and the same checks, since the MQTT library reports every failure alike: the broker's
// certificate expired, signed by another CA or issued to another name, a port without TLS, or a
// file of the settings that cannot be used (then settingsFault is set). "" when this handshake
// found nothing wrong.
QString DiagnoseTls(const TMqttSettings& settings, bool& settingsFault, int timeoutMs = 5000);
