#include "Broker.h"
#include "BrokerFeed.h"

#include "publish/MqttConnection.h"

#include <QCoreApplication>

namespace {

// The feed hands over through an event loop.
void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "dispatch_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

TMqttSettings Settings(int port)
{
    TMqttSettings s;
    s.Enabled = true;
    s.Host = QStringLiteral("127.0.0.1");
    s.Port = port;
    s.KeepAlive = 5;
    return s;
}

// Published and acknowledged by the broker.
testing::AssertionResult Publish(int port, const QString& topic, const QByteArray& payload, bool retain)
{
    TMqttConnection c(Settings(port), QStringLiteral("feed-test-publisher"));
    int acknowledged = 0;
    c.OnPublished = [&](int mid) { acknowledged = mid; };
    if (!c.Start())
        return testing::AssertionFailure() << c.Reason().toStdString();
    int mid = 0;
    const bool done = WaitUntil([&] {
        if (!c.Loop(10))
            return true;
        if (c.Accepted() && mid == 0)
            mid = c.Publish(topic, payload, 1, retain);
        return mid != 0 && acknowledged == mid;
    }, 10s);
    c.Disconnect();
    return done && acknowledged == mid ? testing::AssertionSuccess() : testing::AssertionFailure() << "not acknowledged";
}

struct Taken {
    QVector<TBrokerMessage> Messages;
    QVector<bool> States;
    bool Has(const QString& topic) const
    {
        return std::any_of(Messages.cbegin(), Messages.cend(), [&](const TBrokerMessage& m) { return m.Topic == topic; });
    }
};

std::unique_ptr<TBrokerFeed> Feed(int port, Taken& taken)
{
    auto feed = std::make_unique<TBrokerFeed>(Settings(port), QStringLiteral("dispatch-feed-test"));
    feed->OnMessages = [&taken](QVector<TBrokerMessage>& batch) { taken.Messages += batch; };
    feed->OnState = [&taken](bool connected, const QString&) { taken.States.append(connected); };
    feed->Start();
    return feed;
}

}  // namespace

// The session outlives the dispatcher: an alarm event published while it was away comes when it
// is back, and a broker that goes and returns is followed.
TEST(DispatchFeed, NothingIsMissedWhileAwayAndTheBrokerIsFollowed)
{
    EnsureApplication();
    Broker broker;
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(Publish(broker.Port(), "orvela/a/status", "{}", true));
    Taken taken;
    auto feed = Feed(broker.Port(), taken);
    ASSERT_TRUE(WaitUntil([&] { return taken.Has("orvela/a/status"); }, 10s));
    EXPECT_TRUE(taken.Messages.first().Retained);
    feed.reset();

    ASSERT_TRUE(Publish(broker.Port(), "orvela/a/alarms/events", "{\"seq\":1}", false));
    taken = {};
    feed = Feed(broker.Port(), taken);
    ASSERT_TRUE(WaitUntil([&] { return taken.Has("orvela/a/alarms/events"); }, 10s));
    EXPECT_EQ(taken.States, QVector<bool>({true}));

    broker.Stop();
    ASSERT_TRUE(WaitUntil([&] { return taken.States.size() == 2; }, 20s));
    EXPECT_FALSE(taken.States[1]);
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitUntil([&] { return taken.States.size() == 3; }, 20s));
    EXPECT_TRUE(taken.States[2]);
}
