#pragma once

#include "publish/MqttSettings.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

// INI/Dispatch.ini of the program folder: the broker in [MQTT] with the keys of a station's
// INI/MQTT.ini (Station names the dispatcher's session at the broker), the page in [Web], the
// alerts in [Alerts]; the command line overrides the broker, the root and the address.
struct TDispatchSettings {
    TMqttSettings Broker;
    QHostAddress ListenAddress = QHostAddress(QHostAddress::LocalHost);
    int ListenPort = 8780;
    QString User;          // of the page; none: no password asked (loopback only)
    QString PasswordHash;  // as HashPassword makes it
    QString CertFile;      // HTTPS when both are set
    QString KeyFile;
    int StaleMinutes = 10;  // a station whose newest reading is older counts as not on line
    QString AlertCommand;   // run through /bin/sh for each alarm that begins or ends
    QStringList AlertKinds;     // empty: every kind
    QStringList AlertStations;  // empty: every station
    int AlertRetrySeconds = 5;  // the first wait after a failed alert
    QString FileFault;  // a value of the file that cannot be used

    // The session the broker keeps for the dispatcher.
    QString ClientId() const { return QStringLiteral("orvela-dispatch-") + Broker.Station; }
    bool Tls() const { return !CertFile.isEmpty(); }
};

QString DispatchSettingsPath();

// Missing or bad values take their defaults; a bad address is told by ValidateDispatchSettings.
TDispatchSettings ReadDispatchSettings(const QString& path);

// "HOST[:PORT]" and "ADDR:PORT" of the command line and the file; false with the reason.
bool SetBroker(TDispatchSettings& s, const QString& text, QString& reason);
bool SetListen(TDispatchSettings& s, const QString& text, QString& reason);

// Why the dispatcher cannot start with these settings ("" when it can): a page on an address
// other than loopback without a user and password, TLS files missing or one of the two alone, the
// broker's settings.
QString ValidateDispatchSettings(const TDispatchSettings& s);

// Stores the page's user and password hash in the file, keeping everything else.
bool SavePassword(const QString& path, const QString& user, const QString& hash, QString* error);
