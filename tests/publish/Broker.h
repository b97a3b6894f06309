#pragma once

#include "Wait.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include <sys/types.h>

using namespace std::chrono_literals;

// A mosquitto of the test's own on 127.0.0.1 at a free port, with a generated configuration.
// Sessions persist across a stop and a start (a subscriber misses nothing of an outage).
class Broker
{
public:
    struct Options {
        bool Tls;          // server certificate signed by a CA generated here
        QString User;      // when set, only this user with Password may connect
        QString Password;
        bool Expired = false;  // with Tls: the server certificate's time is over
    };

    Broker() : Broker(Options{false, {}, {}}) {}
    explicit Broker(Options options);
    ~Broker();

    testing::AssertionResult Start();
    // SIGKILL: no goodbye, no saving.
    void Kill();
    // SIGTERM: the broker saves its sessions.
    void Stop();
    bool Running();

    // The broker has written its sessions to disk at least once: a kill no longer loses them.
    bool SessionsSaved() const;
    int Port() const { return Port_; }
    QString CaFile() const { return Dir_.path() + "/ca.crt"; }
    QString Folder() const { return Dir_.path(); }

private:
    testing::AssertionResult MakeCertificates();

    Options Options_;
    QTemporaryDir Dir_;
    int Port_;
    // A plain fork rather than QProcess: the thread sanitizer cannot follow Qt's clone().
    pid_t Pid_ = -1;
};

// A consumer of the test's own, with a persistent session: it gets at QoS 1 what was published
// while it was cut off, once it is back.
class Subscriber
{
public:
    struct Message {
        QString Topic;
        QByteArray Payload;
        bool Retained = false;
    };

    Subscriber(int port, const QString& topic, const QString& clientId = "test-subscriber");
    ~Subscriber();

    std::vector<Message> Messages() const;
    // The latest payload of a topic, empty when none came.
    QByteArray Last(const QString& topic) const;
    bool Connected() const;

private:
    struct TData;
    TData* Data_;
};

// A CA that signed nothing the test broker shows.
bool MakeSelfSignedCa(const QString& certificate, const QString& key);

// A program folder's INI/MQTT.ini for a broker.
QByteArray MqttIni(int port, const QString& station, const QString& extra = {});
