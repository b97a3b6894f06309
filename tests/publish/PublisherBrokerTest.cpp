#include "Broker.h"
#include "HistorySupport.h"
#include "StreamCheck.h"
#include "TestFolder.h"

#include "history/HistoryOutbox.h"
#include "publish/Payloads.h"
#include "publish/Publisher.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>

#include <memory>

namespace {

class PublisherBroker : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Store.KeepOutbox(true);
        ASSERT_TRUE(Store.Open(Path())) << Store.ErrorText().toStdString();
        Settings.Enabled = true;
        Settings.Host = "127.0.0.1";
        Settings.Port = Server.Port();
        Settings.Station = "st1";
        Settings.KeepAlive = 5;
    }

    QString Path() const { return Folder.Path("DATA/history.sqlite"); }

    // One polling cycle's worth: four inputs, values moving with the cycle; input 4 without a
    // link to its probe.
    void AppendCycles(int count)
    {
        for (int c = 0; c < count; ++c, ++Cycle) {
            QVector<THistoryReading> batch;
            for (int n = 1; n <= 4; ++n) {
                batch << MakeReading(n, kDay0 + Cycle * 1000, Cycle + n);
                batch.back().OprosState = n == 4 ? 3 : 0;
            }
            ASSERT_TRUE(Store.Append(batch)) << Store.ErrorText().toStdString();
        }
    }

    std::size_t Arrived(const Subscriber& s) const { return ArrivedCount(s, "orvela/st1/readings"); }
    bool AllArrived(const Subscriber& s) const { return Arrived(s) == std::size_t(Cycle * 4); }
    testing::AssertionResult StreamMatchesHistory(const Subscriber& s) const
    {
        return ::StreamMatchesHistory(s, "orvela/st1/readings", Path());
    }

    TestFolder Folder;
    Broker Server;
    THistoryStore Store;
    TMqttSettings Settings;
    int Cycle = 0;
};

TEST_F(PublisherBroker, RetainedStatesAndStatusReachTheBrokerAndTheGoodbyeSaysOffline)
{
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/st1/#");
    {
        TPublisher publisher(Settings, Path());
        publisher.SetRetained("input/7", R"({"schema":1,"input":7})");
        ASSERT_TRUE(WaitUntil([&] { return !watch.Last("orvela/st1/input/7").isEmpty(); }, 30s));
        const QJsonObject status = QJsonDocument::fromJson(watch.Last("orvela/st1/status")).object();
        EXPECT_EQ(status.value("status"), "online");
        EXPECT_EQ(status.value("period"), 10);
        EXPECT_EQ(publisher.State(), TBrokerState::Online);
        // A newer state replaces the older one.
        publisher.SetRetained("input/7", R"({"schema":1,"input":7,"battery":5})");
        ASSERT_TRUE(WaitUntil([&] { return watch.Last("orvela/st1/input/7").contains("battery"); }, 30s));
    }
    ASSERT_TRUE(WaitUntil([&] { return watch.Last("orvela/st1/status").contains("offline"); }, 30s));
    EXPECT_EQ(QJsonDocument::fromJson(watch.Last("orvela/st1/status")).object().value("reason"), "stopped");
    // A consumer that comes later is told the last states by the broker.
    Subscriber late(Server.Port(), "orvela/st1/#", "late");
    ASSERT_TRUE(WaitUntil([&] { return late.Last("orvela/st1/input/7").contains("battery"); }, 30s));
    for (const auto& m : late.Messages())
        EXPECT_TRUE(m.Retained) << m.Topic.toStdString();
}

TEST_F(PublisherBroker, ReadingsStoredDuringABrokerOutageArriveOnceEachInOrder)
{
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/st1/#");
    ASSERT_TRUE(WaitUntil([&] { return watch.Connected() && Server.SessionsSaved(); }, 30s));
    TPublisher publisher(Settings, Path());
    AppendCycles(30);
    ASSERT_TRUE(WaitUntil([&] { return AllArrived(watch); }, 60s));

    // Stopped with messages on the way: those the broker never acknowledged go again. (A broker
    // killed outright may lose what it had acknowledged but not yet saved: that is the broker's.)
    AppendCycles(500);
    ASSERT_TRUE(WaitUntil([&] { return publisher.Counters().Sent > publisher.Counters().Acknowledged; }, 30s));
    Server.Stop();
    ASSERT_TRUE(WaitUntil([&] { return publisher.State() == TBrokerState::Offline; }, 30s));
    AppendCycles(100);
    ASSERT_TRUE(Server.Start());
    AppendCycles(30);
    ASSERT_TRUE(WaitUntil([&] { return AllArrived(watch); }, 120s)) << Arrived(watch) << " of " << Cycle * 4;
    EXPECT_TRUE(StreamMatchesHistory(watch));
    // The acknowledged sequence is kept: a restart sends nothing again.
    ASSERT_TRUE(WaitUntil([&] { return publisher.Counters().ReadingsAcknowledged == Cycle * 4; }, 30s));
}

TEST_F(PublisherBroker, ABacklogWrittenAcrossAStationRestartWithTheBrokerDownArrivesAfterwards)
{
    ASSERT_TRUE(Server.Start());
    {
        // The consumer's session is known to the broker before the outage.
        Subscriber first(Server.Port(), "orvela/st1/#");
        ASSERT_TRUE(WaitUntil([&] { return first.Connected(); }, 30s));
    }
    Server.Stop();
    {
        TPublisher publisher(Settings, Path());
        AppendCycles(40);
        ASSERT_TRUE(WaitUntil([&] { return publisher.State() == TBrokerState::Offline; }, 30s));
    }
    auto publisher = std::make_unique<TPublisher>(Settings, Path());
    AppendCycles(40);
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/st1/#");
    ASSERT_TRUE(WaitUntil([&] { return AllArrived(watch); }, 120s)) << Arrived(watch) << " of " << Cycle * 4;
    EXPECT_TRUE(StreamMatchesHistory(watch));
    ASSERT_TRUE(WaitUntil([&] { return publisher->Counters().ReadingsAcknowledged == Cycle * 4; }, 30s));
    publisher.reset();
    THistoryOutbox outbox;
    ASSERT_TRUE(outbox.Open(Path()));
    EXPECT_EQ(outbox.Acknowledged(TOutboxStream::Readings), Cycle * 4);
    EXPECT_TRUE(outbox.Readings(0, 10).isEmpty());
}

TEST_F(PublisherBroker, AlarmEventsWaitForTheBrokerInTheOutboxAndOneStateLineIsToldPerChange)
{
    std::vector<std::pair<TBrokerState, QString>> states;
    auto publisher = std::make_unique<TPublisher>(Settings, Path());
    publisher->OnState = [&](TBrokerState s, const QString& reason) { states.emplace_back(s, reason); };
    publisher->AddAlarmEvent(kDay0, R"({"time":"x","input":5,"sensor":0,"kind":"input","active":true,"text":"Вход 5"})");
    ASSERT_TRUE(WaitUntil([&] { return !states.empty(); }, 30s));
    EXPECT_EQ(states.front().first, TBrokerState::Offline);
    EXPECT_TRUE(states.front().second.contains("отвергнуто")) << states.front().second.toStdString();
    // The event is stored before the broker is there; the program stops and starts again.
    publisher.reset();
    publisher = std::make_unique<TPublisher>(Settings, Path());
    publisher->OnState = [&](TBrokerState s, const QString& reason) { states.emplace_back(s, reason); };
    ASSERT_TRUE(WaitUntil([&] { return states.size() >= 2; }, 30s));
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/st1/alarms/#");
    ASSERT_TRUE(WaitUntil([&] { return !watch.Last("orvela/st1/alarms/events").isEmpty(); }, 60s));
    const QJsonObject event = QJsonDocument::fromJson(watch.Last("orvela/st1/alarms/events")).object();
    EXPECT_EQ(event.value("seq").toInt(), 1);
    EXPECT_EQ(event.value("station"), "st1");
    EXPECT_EQ(event.value("text"), "Вход 5");
    EXPECT_EQ(event.value("schema").toInt(), 2);
    THistoryOutbox outbox;
    ASSERT_TRUE(outbox.Open(Path()));
    EXPECT_EQ(event.value("epoch"), outbox.Epoch());
    // Retries that failed alike were not told again: lost once per publisher, then back once.
    ASSERT_TRUE(WaitUntil([&] { return states.size() >= 3; }, 30s));
    ASSERT_EQ(states.size(), 3u);
    EXPECT_EQ(states[1].first, TBrokerState::Offline);
    EXPECT_EQ(states[2].first, TBrokerState::Online);
}

TEST_F(PublisherBroker, AHistoryMadeAnewNumbersItsReadingsFromOneAgainUnderAnotherEpoch)
{
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/st1/readings");
    auto publisher = std::make_unique<TPublisher>(Settings, Path());
    AppendCycles(5);
    ASSERT_TRUE(WaitUntil([&] { return Arrived(watch) == 20; }, 60s));
    publisher.reset();
    Store.Close();
    ASSERT_TRUE(QFile::remove(Path()));
    ASSERT_TRUE(Store.Open(Path()));
    publisher = std::make_unique<TPublisher>(Settings, Path());
    AppendCycles(5);
    // Twenty more, although their sequence numbers are those of the first twenty.
    ASSERT_TRUE(WaitUntil([&] { return Arrived(watch) == 40; }, 60s)) << Arrived(watch);
    std::vector<ReceivedReading> readings;
    ASSERT_TRUE(Deduplicate(watch.Messages(), "orvela/st1/readings", readings));
    std::map<QString, std::vector<qint64>> epochs;
    for (const ReceivedReading& r : readings)
        epochs[r.Json.value("epoch").toString()].push_back(r.Seq);
    ASSERT_EQ(epochs.size(), 2u);
    for (const auto& [epoch, seqs] : epochs)
        EXPECT_EQ(seqs.front(), 1) << epoch.toStdString();
}

TEST_F(PublisherBroker, TwoStationsOfOneNameAreToldOnceThatTheyPushEachOtherOff)
{
    ASSERT_TRUE(Server.Start());
    std::vector<QString> reasons[2];
    std::unique_ptr<TPublisher> twins[2];
    for (int i = 0; i < 2; ++i) {
        twins[i] = std::make_unique<TPublisher>(Settings, Folder.Path(QString("DATA/twin%1.sqlite").arg(i)));
        twins[i]->OnState = [&reasons, i](TBrokerState, const QString& reason) { reasons[i].push_back(reason); };
    }
    const auto twin = [](const QString& reason) { return reason.contains("другая станция с тем же именем «st1»"); };
    const auto told = [&](int i) { return std::count_if(reasons[i].begin(), reasons[i].end(), twin); };
    // Each finds out after a few drops by the broker.
    ASSERT_TRUE(WaitUntil([&] { return told(0) > 0 && told(1) > 0; }, 120s));
    // Said once: as they went on pushing each other off, the first told was not told online or
    // anything else until the second found out.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(told(i), 1) << i;
        EXPECT_TRUE(twin(reasons[i].back())) << i;
    }
}

}  // namespace
