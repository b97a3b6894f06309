#pragma once

#include <QString>

// [MQTT] of INI/MQTT.ini: where and as whom the station publishes. Off unless Enabled=1.
struct TMqttSettings {
    bool Enabled = false;
    QString Host;
    int Port = 1883;
    QString Station;  // the host name when missing
    QString Root = QStringLiteral("orvela");
    QString User;
    QString Password;
    QString CAFile;  // TLS when set
    QString CertFile;
    QString KeyFile;
    int KeepAlive = 30;  // seconds
    int Heartbeat = 10;  // seconds between two "online" states of the station, 1..30
    // Readings (and alarm events) the outbox keeps for the broker at most: beyond it the oldest
    // go unsent.
    int OutboxLimit = 10'000'000;

    bool Tls() const { return !CAFile.isEmpty(); }
    // "<root>/<station>/", the prefix of every topic of this station.
    QString TopicPrefix() const { return Root + u'/' + Station + u'/'; }
};

QString MqttSettingsPath();  // INI/MQTT.ini in the program folder

// Missing or bad values take their defaults. warning, when given, is set when the file holds a
// password and others may read it.
TMqttSettings ReadMqttSettings(const QString& path, QString* warning = nullptr);
bool WriteMqttSettings(const QString& path, const TMqttSettings& settings, QString* error = nullptr);

// The operator's reason why the settings cannot be used ("" when they can). Checked only when
// publishing is enabled, except the names of the topics, which must never hold wildcards.
QString ValidateMqttSettings(const TMqttSettings& settings);
