#pragma once

#include "publish/MqttSettings.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TPostedCalls;

struct TBrokerMessage {
    QString Topic;
    QByteArray Payload;
    bool Retained = false;
};

// Everything under the root, taken on a thread of its own with a persistent session (what comes
// while the dispatcher is away waits at the broker) and handed to the creator's thread in batches.
// A lost connection is tried again after 1, 2, 4 … 30 seconds.
class TBrokerFeed
{
public:
    // clientId names the session at the broker: one per dispatcher.
    TBrokerFeed(const TMqttSettings& settings, const QString& clientId);
    ~TBrokerFeed();
    TBrokerFeed(const TBrokerFeed&) = delete;
    TBrokerFeed& operator=(const TBrokerFeed&) = delete;

    // Both called in the creator's thread, through its event loop: the messages that came since
    // the last call, and the connection (reason empty while connected).
    std::function<void(QVector<TBrokerMessage>& messages)> OnMessages;
    std::function<void(bool connected, const QString& reason)> OnState;

    void Start();

private:
    void Run();
    void Arrived(TBrokerMessage message);
    void Deliver();
    void Tell(bool connected, const QString& reason);

    const TMqttSettings Settings_;
    const QString ClientId_;
    std::mutex Mutex_;
    std::condition_variable Wake_;
    bool Stop_ = false;
    QVector<TBrokerMessage> Queue_;
    bool Posted_ = false;  // a hand-over is on its way to the creator's thread
    std::unique_ptr<TPostedCalls> Calls_;
    std::thread Thread_;
};
