#include "BrokerFeed.h"

#include "common/PostedCalls.h"
#include "publish/MqttConnection.h"

#include <chrono>

namespace {

constexpr int kLongestWaitSeconds = 30;
// A connection that held this long starts the waits from 1 s again.
constexpr auto kSteadyConnection = std::chrono::minutes(1);
constexpr auto kConnectLimit = std::chrono::seconds(15);
// The creator's thread takes at most this many at a time, so that a broker handing over its
// retained topics holds no page up for long.
constexpr int kBatch = 2000;

}  // namespace

TBrokerFeed::TBrokerFeed(const TMqttSettings& settings, const QString& clientId)
    : Settings_(settings), ClientId_(clientId), Calls_(std::make_unique<TPostedCalls>())
{
}

TBrokerFeed::~TBrokerFeed()
{
    {
        const std::lock_guard lock(Mutex_);
        Stop_ = true;
    }
    Wake_.notify_all();
    if (Thread_.joinable())
        Thread_.join();
}

void TBrokerFeed::Start()
{
    Thread_ = std::thread([this] { Run(); });
}

void TBrokerFeed::Arrived(TBrokerMessage message)
{
    const std::lock_guard lock(Mutex_);
    Queue_.append(std::move(message));
    if (Posted_)
        return;
    Posted_ = true;
    Calls_->Post([this] { Deliver(); });
}

void TBrokerFeed::Deliver()
{
    QVector<TBrokerMessage> batch;
    {
        const std::lock_guard lock(Mutex_);
        const qsizetype n = qMin<qsizetype>(Queue_.size(), kBatch);
        batch = Queue_.mid(0, n);
        Queue_.remove(0, n);
        Posted_ = !Queue_.isEmpty();
        // The rest after this batch, behind whatever else waits in the event loop.
        if (Posted_)
            Calls_->Post([this] { Deliver(); });
    }
    if (OnMessages)
        OnMessages(batch);
}

void TBrokerFeed::Tell(bool connected, const QString& reason)
{
    Calls_->Post([this, connected, reason] {
        if (OnState)
            OnState(connected, reason);
    });
}

void TBrokerFeed::Run()
{
    using Clock = std::chrono::steady_clock;
    const auto stopping = [this] {
        const std::lock_guard lock(Mutex_);
        return Stop_;
    };
    int wait = 1;
    QString told;  // the last reason told; empty while connected
    bool everTold = false;
    while (!stopping()) {
        TMqttConnection connection(Settings_, ClientId_, false);
        connection.OnMessage = [this](const QString& topic, const QByteArray& payload, bool retained) {
            Arrived({topic, payload, retained});
        };
        bool subscribed = false;
        Clock::time_point connected{};
        QString reason;
        if (connection.Start()) {
            const Clock::time_point started = Clock::now();
            while (!stopping()) {
                if (!connection.Loop(100)) {
                    reason = connection.Reason();
                    break;
                }
                if (connection.Accepted() && !subscribed) {
                    subscribed = connection.Subscribe({Settings_.Root + QStringLiteral("/#")}, 1);
                    connected = Clock::now();
                    Tell(true, {});
                    told.clear();
                    everTold = true;
                }
                if (!connection.Accepted() && Clock::now() - started > kConnectLimit) {
                    reason = QStringLiteral("брокер не ответил на подключение");
                    break;
                }
            }
            if (stopping()) {
                connection.Disconnect();
                return;
            }
        } else {
            reason = connection.Reason();
        }
        if (!everTold || reason != told) {
            Tell(false, reason);
            told = reason;
            everTold = true;
        }
        if (connected != Clock::time_point{} && Clock::now() - connected >= kSteadyConnection)
            wait = 1;
        std::unique_lock lock(Mutex_);
        Wake_.wait_for(lock, std::chrono::seconds(wait), [this] { return Stop_; });
        wait = qMin(wait * 2, kLongestWaitSeconds);
    }
}
