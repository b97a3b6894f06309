#pragma once

#include "history/HistoryOutbox.h"
#include "publish/MqttSettings.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TPostedCalls;

// The connection to the broker as the operator sees it.
enum class TBrokerState { Connecting, Online, Offline };

// Publishes one station on a thread of its own, so that no caller ever waits on the network:
// the retained states (latest only, sent again after every reconnect), the readings the history
// keeps and the alarm events, both from the outbox in the history database and dropped from it
// once the broker has acknowledged them. After a (re)connect the backlog goes in order, a burst at
// a time between the live states.
class TPublisher
{
public:
    TPublisher(const TMqttSettings& settings, const QString& historyPath);
    // Says goodbye ("offline") when connected, and stops the thread.
    ~TPublisher();
    TPublisher(const TPublisher&) = delete;
    TPublisher& operator=(const TPublisher&) = delete;

    // The latest payload of a retained topic under the station ("input/5", "controller"); or
    // what makes it, called on the publisher's thread, so that the caller only copies values.
    void SetRetained(const QString& subtopic, const QByteArray& payload);
    void SetRetained(const QString& subtopic, std::function<QByteArray()> make);
    // Kept in the outbox by the publisher's thread, then sent. With the alarm's id, the alarms
    // kept active beside the outbox change in the same transaction: an active event keeps it
    // there (its latest event), another drops it.
    void AddAlarmEvent(qint64 time, const QByteArray& event, const QString& id = {}, bool active = false);

    // Called in the creator's thread (through its event loop) when the state or its reason
    // changes; the reason is empty while online.
    std::function<void(TBrokerState state, const QString& reason)> OnState;

    TBrokerState State() const { return State_.load(); }
    QString Reason() const;
    const TMqttSettings& Settings() const { return Settings_; }

    // For tests and the benchmark: messages written and acknowledged so far (every topic), and
    // the readings' last acknowledged sequence number.
    struct TCounters {
        std::atomic<qint64> Sent{0};
        std::atomic<qint64> Acknowledged{0};
        std::atomic<qint64> ReadingsAcknowledged{0};
    };
    const TCounters& Counters() const { return Counters_; }

private:
    struct TSession;
    void Run();
    void SetState(TBrokerState state, const QString& reason);

    const TMqttSettings Settings_;
    const QString HistoryPath_;

    mutable std::mutex Mutex_;
    std::condition_variable Wake_;
    bool Stop_ = false;
    QHash<QString, std::function<QByteArray()>> Retained_;  // every topic's latest payload
    QHash<QString, bool> Dirty_;            // topics changed since they were last sent
    QVector<TOutboxAlarmChange> NewAlarms_;
    QString Reason_;

    std::atomic<TBrokerState> State_{TBrokerState::Connecting};
    TCounters Counters_;
    std::unique_ptr<TPostedCalls> Calls_;
    std::thread Thread_;
};
