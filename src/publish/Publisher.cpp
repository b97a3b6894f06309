#include "publish/Publisher.h"

#include "common/PostedCalls.h"
#include "common/OperatorMessage.h"
#include "publish/MqttConnection.h"
#include "publish/Payloads.h"
#include "publish/StationStatus.h"

#include <QDateTime>

#include <chrono>
#include <deque>
#include <map>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

// The longest a stop or a new state waits for the thread: a poll cycle brings new states twice a
// second, and each look costs the thread a wake-up.
constexpr int kLoopMs = 250;
constexpr int kInFlight = 200;         // stream messages written and not yet acknowledged
constexpr int kBurst = 100;            // backlog messages between two looks at the live states
constexpr auto kIdleLook = 500ms;      // how often a caught-up stream looks for new rows
// How often the acknowledged sequences are stored: a kill resends at most this much, which
// consumers drop by sequence number.
constexpr auto kAckSaving = 1s;
constexpr auto kOutboxRetry = 1s;
constexpr auto kFirstRetry = 1s;
constexpr auto kLastRetry = 30s;
constexpr auto kGoodbyeLimit = 2s;      // the longest a stop sends the rest, and then waits for the goodbye
// A connection that held this long was no accident: the back-off starts again from the first
// retry. Shorter ones that the broker closed, this many times within it, are most likely another
// station connecting under the same name (the broker keeps the newer of two clients of one name).
constexpr auto kSteadyConnection = 60s;
constexpr int kTwinDrops = 3;
constexpr auto kTrimEvery = 60s;        // how often the outbox is held to its limit

qint64 Now() { return QDateTime::currentMSecsSinceEpoch(); }

// A file of the settings that cannot be used is no connection failure.
QString Failure(const TMqttConnection& connection)
{
    return connection.SettingsFault() ? QStringLiteral("ошибка в настройках: ") + connection.Reason()
                                      : connection.Reason();
}

QString TwinText(const QString& station)
{
    return QStringLiteral("брокер разрывает соединение вскоре после подключения (%1 раза за минуту): вероятно, "
                          "к нему подключается другая станция с тем же именем «%2». Задайте каждой станции свое "
                          "имя (Station в INI/MQTT.ini); до тех пор попытки соединения — раз в %3 с")
        .arg(kTwinDrops)
        .arg(station)
        .arg(std::chrono::seconds(kLastRetry).count());
}

}  // namespace

// One stream of the outbox during one run of the thread.
struct TPublisher::TSession {
    struct TStream {
        explicit TStream(TOutboxStream kind) : Kind(kind) {}
        TOutboxStream Kind;
        QString Topic;
        qint64 Acked = 0;  // everything up to here is acknowledged
        qint64 Saved = 0;  // what the outbox holds as acknowledged
        qint64 Sent = 0;   // the last sequence written to the connection
        std::map<qint64, bool> InFlight;  // sequence: acknowledged
        TClock::time_point NextLook{};

        void Restart()
        {
            Sent = Acked;
            InFlight.clear();
            NextLook = {};
        }
        void Acknowledge(qint64 seq)
        {
            auto it = InFlight.find(seq);
            if (it != InFlight.end())
                it->second = true;
            while (!InFlight.empty() && InFlight.begin()->second) {
                Acked = InFlight.begin()->first;
                InFlight.erase(InFlight.begin());
            }
        }
    };

    THistoryOutbox Outbox;
    bool HaveOutbox = false;
    QString Epoch;
    qint64 Dropped = 0;  // unsent rows the outbox dropped

    void OpenOutbox(const QString& path)
    {
        HaveOutbox = Outbox.Open(path);
        Epoch = HaveOutbox ? Outbox.Epoch() : QString();
        Dropped = HaveOutbox ? Outbox.Dropped() : 0;
        for (TStream* s : {&Alarms, &Readings}) {
            s->Acked = s->Saved = HaveOutbox ? Outbox.Acknowledged(s->Kind) : 0;
            s->Restart();
        }
    }
    TStream Alarms{TOutboxStream::Alarms};
    TStream Readings{TOutboxStream::Readings};
    std::map<int, std::pair<TStream*, qint64>> Mids;  // message id: its stream and sequence

    // Keeps the outbox within limit: the number of rows it dropped now.
    qint64 Trim(qint64 limit)
    {
        if (!HaveOutbox)
            return 0;
        const qint64 dropped = Outbox.Trim(limit);
        Dropped = Outbox.Dropped();
        return qMax<qint64>(0, dropped);
    }

    void SaveAcks()
    {
        for (TStream* s : {&Alarms, &Readings})
            if (HaveOutbox && s->Acked != s->Saved && Outbox.Acknowledge(s->Kind, s->Acked))
                s->Saved = s->Acked;
    }

    // Writes rows after the last one sent, within the window and the burst. True when it found
    // nothing more to send.
    bool Send(TStream& s, TMqttConnection& connection, const QString& station, TCounters& counters,
              int& unacknowledged)
    {
        if (!HaveOutbox)
            return true;
        if (TClock::now() < s.NextLook)
            return false;
        int budget = kBurst;
        while (budget > 0 && int(s.InFlight.size()) < kInFlight) {
            const int limit = qMin(budget, kInFlight - int(s.InFlight.size()));
            QVector<std::pair<qint64, QByteArray>> rows;
            if (s.Kind == TOutboxStream::Readings) {
                for (const TOutboxReading& r : Outbox.Readings(s.Sent, limit))
                    rows.append({r.Seq, r.Reading.Input > 0 ? ReadingPayload({station, Epoch, r.Seq}, r.Reading)
                                                            : QByteArray()});
            } else {
                for (const TOutboxAlarm& a : Outbox.Alarms(s.Sent, limit))
                    rows.append({a.Seq, AlarmEventPayload({station, Epoch, a.Seq}, a.Event)});
            }
            for (const auto& [seq, payload] : rows) {
                s.Sent = seq;
                s.InFlight.emplace(seq, false);
                --budget;
                // A damaged row cannot be sent: it counts as done.
                if (payload.isEmpty()) {
                    s.Acknowledge(seq);
                    continue;
                }
                const int mid = connection.Publish(s.Topic, payload, 1, false);
                if (mid == 0)
                    return false;  // the connection is failing: the loop finds out
                Mids[mid] = {&s, seq};
                ++counters.Sent;
                ++unacknowledged;
            }
            if (rows.size() < limit) {
                s.NextLook = TClock::now() + kIdleLook;
                return true;
            }
        }
        return false;
    }
};

TPublisher::TPublisher(const TMqttSettings& settings, const QString& historyPath)
    : Settings_(settings), HistoryPath_(historyPath), Calls_(std::make_unique<TPostedCalls>())
{
    Thread_ = std::thread([this] { Run(); });
}

TPublisher::~TPublisher()
{
    {
        std::lock_guard lock(Mutex_);
        Stop_ = true;
    }
    Wake_.notify_all();
    Thread_.join();
}

void TPublisher::SetRetained(const QString& subtopic, const QByteArray& payload)
{
    SetRetained(subtopic, [payload] { return payload; });
}

void TPublisher::SetRetained(const QString& subtopic, std::function<QByteArray()> make)
{
    std::lock_guard lock(Mutex_);
    Retained_.insert(subtopic, std::move(make));
    Dirty_.insert(subtopic, true);
}

void TPublisher::AddAlarmEvent(qint64 time, const QByteArray& event, const QString& id, bool active)
{
    {
        std::lock_guard lock(Mutex_);
        NewAlarms_.append({time, event, id, active});
    }
    Wake_.notify_all();
}

QString TPublisher::Reason() const
{
    std::lock_guard lock(Mutex_);
    return Reason_;
}

void TPublisher::SetState(TBrokerState state, const QString& reason)
{
    {
        std::lock_guard lock(Mutex_);
        if (State_.load() == state && Reason_ == reason)
            return;
        Reason_ = reason;
        State_ = state;
    }
    Calls_->Post([this, state, reason] {
        if (OnState)
            OnState(state, reason);
    });
}

void TPublisher::Run()
{
    const QString prefix = Settings_.TopicPrefix();
    const QString statusTopic = prefix + QStringLiteral("status");
    const auto heartbeat = std::chrono::seconds(Settings_.Heartbeat);
    TSession session;
    session.Alarms.Topic = prefix + QStringLiteral("alarms/events");
    session.Readings.Topic = prefix + QStringLiteral("readings");
    TStationStatus status(Settings_.Station, Settings_.Heartbeat);
    auto nextOutboxOpen = TClock::now();
    auto nextTrim = TClock::now();
    bool trimTold = false;

    std::unique_ptr<TMqttConnection> connection;
    bool online = false;
    auto onlineSince = TClock::now();
    auto retry = std::chrono::duration_cast<TClock::duration>(kFirstRetry);
    auto nextAttempt = TClock::now();
    auto acceptBy = TClock::now();
    auto nextAckSave = TClock::now();
    auto nextHeartbeat = TClock::now();
    std::deque<TClock::time_point> shortDrops;  // of connections the broker closed within a minute
    bool twin = false;

    int unacknowledged = 0;  // on this connection
    const auto publish = [&](const QString& topic, const QByteArray& payload) {
        if (connection->Publish(topic, payload, 1, true) == 0)
            return;
        ++Counters_.Sent;
        ++unacknowledged;
    };
    const auto sendLive = [&] {
        QVector<std::pair<QString, std::function<QByteArray()>>> live;
        {
            std::lock_guard lock(Mutex_);
            for (auto it = Dirty_.cbegin(); it != Dirty_.cend(); ++it)
                live.append({it.key(), Retained_.value(it.key())});
            Dirty_.clear();
        }
        for (const auto& [topic, make] : live) {
            const QByteArray payload = make();
            if (status.Note(topic, payload))
                publish(prefix + topic, payload);
        }
    };
    const auto drop = [&](QString reason) {
        const auto now = TClock::now();
        if (online && now - onlineSince >= kSteadyConnection) {
            retry = kFirstRetry;
        } else if (online && connection->DroppedByBroker()) {
            shortDrops.push_back(now);
            while (now - shortDrops.front() > kSteadyConnection)
                shortDrops.pop_front();
            twin = twin || int(shortDrops.size()) >= kTwinDrops;
        }
        // Said once: the reason stays the same while it lasts.
        if (twin) {
            retry = kLastRetry;
            reason = TwinText(Settings_.Station);
        }
        SetState(TBrokerState::Offline, reason);
        connection.reset();
        online = false;
        session.Mids.clear();
        session.Alarms.Restart();
        session.Readings.Restart();
        nextAttempt = now + retry;
        retry = std::min<TClock::duration>(retry * 2, kLastRetry);
    };

    for (;;) {
        QVector<TOutboxAlarmChange> alarms;
        bool stop = false;
        {
            std::unique_lock lock(Mutex_);
            if (!connection && !Stop_ && NewAlarms_.isEmpty())
                Wake_.wait_until(lock, nextAttempt, [this] { return Stop_ || !NewAlarms_.isEmpty(); });
            stop = Stop_;
            alarms.swap(NewAlarms_);
        }
        // The history may still be making the file: the outbox is looked for again.
        if (!session.HaveOutbox && TClock::now() >= nextOutboxOpen) {
            session.OpenOutbox(HistoryPath_);
            nextOutboxOpen = TClock::now() + kOutboxRetry;
        }
        // Kept first, so that an alarm survives an outage and a restart alike, also one that
        // came with the stop.
        for (const TOutboxAlarmChange& alarm : alarms)
            if (session.HaveOutbox)
                session.Outbox.AddAlarm(alarm);
        if (stop)
            break;
        if (session.HaveOutbox && TClock::now() >= nextTrim) {
            nextTrim = TClock::now() + kTrimEvery;
            const qint64 dropped = session.Trim(Settings_.OutboxLimit);
            if (dropped > 0 && !trimTold) {
                trimTold = true;
                const QString text = QStringLiteral("Очередь публикации MQTT превысила предел в %1 записей "
                                                    "(OutboxLimit в INI/MQTT.ini): %2 самых старых удалены "
                                                    "неотправленными. В истории показаний они остаются.")
                                         .arg(Settings_.OutboxLimit)
                                         .arg(dropped);
                Calls_->Post([text] { ShowMessage(kCaptionWarning, text, TMessageIcon::Warning); });
            }
        }
        if (!connection) {
            if (TClock::now() < nextAttempt)
                continue;
            connection = std::make_unique<TMqttConnection>(Settings_, QStringLiteral("orvela-") + Settings_.Station);
            connection->SetWill(statusTopic, status.Will(Now()));
            unacknowledged = 0;
            connection->OnPublished = [&](int mid) {
                ++Counters_.Acknowledged;
                --unacknowledged;
                auto it = session.Mids.find(mid);
                if (it == session.Mids.end())
                    return;
                it->second.first->Acknowledge(it->second.second);
                session.Mids.erase(it);
            };
            if (!connection->Start()) {
                drop(Failure(*connection));
                continue;
            }
            acceptBy = TClock::now() + std::chrono::seconds(qMax(10, Settings_.KeepAlive));
        }
        if (!connection->Loop(kLoopMs)) {
            drop(Failure(*connection));
            continue;
        }
        Counters_.ReadingsAcknowledged = session.Readings.Acked;
        if (TClock::now() >= nextAckSave) {
            session.SaveAcks();
            nextAckSave = TClock::now() + kAckSaving;
        }
        if (!connection->Accepted()) {
            if (TClock::now() >= acceptBy)
                drop(QStringLiteral("брокер не ответил на соединение"));
            continue;
        }
        if (!online) {
            online = true;
            onlineSince = TClock::now();
            nextHeartbeat = onlineSince;
            status.Reconnected();
            std::lock_guard lock(Mutex_);
            for (auto it = Retained_.cbegin(); it != Retained_.cend(); ++it)
                Dirty_.insert(it.key(), true);
        }
        // While another station of the same name may push this one off, it is not told online
        // before the connection has held.
        if (twin && TClock::now() - onlineSince >= kSteadyConnection) {
            twin = false;
            shortDrops.clear();
        }
        if (State_.load() != TBrokerState::Online && !twin)
            SetState(TBrokerState::Online, QString());
        // The live states first: the backlog never holds them up for more than one burst.
        sendLive();
        // After the states it tells of; at once on a new connection.
        if (TClock::now() >= nextHeartbeat) {
            publish(statusTopic, status.Online(Now(), session.Dropped));
            nextHeartbeat = TClock::now() + heartbeat;
        }
        session.Send(session.Alarms, *connection, Settings_.Station, Counters_, unacknowledged);
        session.Send(session.Readings, *connection, Settings_.Station, Counters_, unacknowledged);
    }
    if (connection && online) {
        // An orderly stop sends what the history wrote last and the last states, within a limit;
        // what remains goes at the next start.
        const auto deadline = TClock::now() + kGoodbyeLimit;
        bool pending = true;
        while (pending && TClock::now() < deadline) {
            sendLive();
            pending = unacknowledged > 0;
            for (TSession::TStream* s : {&session.Alarms, &session.Readings}) {
                s->NextLook = {};
                if (!session.Send(*s, *connection, Settings_.Station, Counters_, unacknowledged))
                    pending = true;
            }
            if (!connection->Loop(kLoopMs))
                break;
        }
        if (connection->Loop(0)) {
            publish(statusTopic, status.Goodbye(Now(), session.Dropped));
            while (unacknowledged > 0 && TClock::now() < deadline + kGoodbyeLimit && connection->Loop(kLoopMs)) {
            }
            connection->Disconnect();
        }
    }
    session.SaveAcks();
}
