#pragma once

#include "publish/MqttSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

struct mosquitto;

// One connection to the broker, driven by the thread that owns it through Loop (the library's own
// network thread is not used, so every callback runs in that thread). A connection that fails is
// dropped, not reconnected: the owner makes a new one.
class TMqttConnection
{
public:
    // A persistent session (cleanSession false) keeps the subscriptions and the QoS 1 messages that
    // came while the client was away, for its next connection under the same id.
    TMqttConnection(const TMqttSettings& settings, const QString& clientId, bool cleanSession = true);
    ~TMqttConnection();
    TMqttConnection(const TMqttConnection&) = delete;
    TMqttConnection& operator=(const TMqttConnection&) = delete;

    // Before Start: the message the broker publishes when this client dies without saying goodbye.
    void SetWill(const QString& topic, const QByteArray& payload);
    // Resolves the name and opens the socket (and TLS): blocks the calling thread for that long.
    // False with Reason() on failure.
    bool Start();
    // Runs the network for up to timeoutMs. False once the connection is gone (Reason() says why).
    bool Loop(int timeoutMs);
    bool Accepted() const { return Accepted_; }
    QString Reason() const { return Reason_; }
    // The reason lies in the settings (a file that cannot be used), not in the network or broker.
    bool SettingsFault() const { return SettingsFault_; }
    // Once accepted, the broker closed the connection: as it does when another client connects
    // under the same name.
    bool DroppedByBroker() const { return DroppedByBroker_; }

    // The message id, 0 when it could not be queued.
    int Publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    // One request for all the patterns; OnSubscribed is called when the broker granted it, and the
    // messages come to OnMessage, both during Loop.
    bool Subscribe(const QStringList& patterns, int qos);
    std::function<void()> OnSubscribed;
    std::function<void(const QString& topic, const QByteArray& payload, bool retained)> OnMessage;
    // Says goodbye: the last will is not published.
    void Disconnect();
    // Messages written to the broker and not yet acknowledged by it.
    std::function<void(int mid)> OnPublished;

private:
    static void Connected(mosquitto*, void* self, int rc);
    static void Published(mosquitto*, void* self, int mid);
    static void Message(mosquitto*, void* self, const struct mosquitto_message* message);
    static void Subscribed(mosquitto*, void* self, int mid, int count, const int* granted);
    // The reason of a failed TLS handshake, found out by one of our own.
    void TlsFailed();

    TMqttSettings Settings_;
    mosquitto* Client_ = nullptr;
    bool Accepted_ = false;
    bool Lost_ = false;
    bool SettingsFault_ = false;
    bool DroppedByBroker_ = false;
    int SubscribeMid_ = 0;
    QString Reason_;
};

// The operator's reason for a connection that failed: from the library's result code (and errno
// for a system error), or from the broker's refusal (CONNACK code).
QString ConnectFailureText(int result, int systemError, const QString& host);
QString RefusalText(int connackCode);

// What a connection check found: the broker accepted the station, the settings cannot be used, or
// the connection failed; with the reason.
struct TMqttCheck {
    enum TOutcome { Accepted, BadSettings, Failed } Outcome = Accepted;
    QString Reason;
};

// Connects with these settings and leaves at once. Uses a client id of its own, so a running
// station is not pushed off.
TMqttCheck CheckMqttConnection(const TMqttSettings& settings, int timeoutMs = 10000);
