#include "publish/StationStatus.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

QJsonObject Object(const QByteArray& json) { return QJsonDocument::fromJson(json).object(); }

QByteArray Controller(const char* time, int state)
{
    return QJsonDocument(QJsonObject{{"schema", 2}, {"time", time}, {"address", 1}, {"state", state},
                                     {"stateText", state == 1 ? "Норма" : "Нет ответа от устройства"}})
        .toJson(QJsonDocument::Compact);
}

TEST(StationStatus, TheControllerGoesOnChangeAndTheHeartbeatTellsTheLastPollAndReading)
{
    TStationStatus status("line1", 10);
    QJsonObject online = Object(status.Online(0, 0));
    EXPECT_EQ(online.value("status"), "online");
    EXPECT_EQ(online.value("period"), 10);
    EXPECT_TRUE(online.value("poll").isNull());
    EXPECT_TRUE(online.value("lastReading").isNull());

    EXPECT_TRUE(status.Note("controller", Controller("2026-12-08T07:00:00.000Z", 1)));
    EXPECT_FALSE(status.Note("controller", Controller("2026-12-08T07:00:00.500Z", 1)));
    EXPECT_TRUE(status.Note("input/5", R"({"time":"2026-12-08T07:00:00.500Z","input":5})"));
    EXPECT_TRUE(status.Note("input/9", R"({"time":"2026-12-08T06:59:00.000Z","input":9})"));
    online = Object(status.Online(0, 7));
    EXPECT_EQ(online.value("poll").toObject().value("time"), "2026-12-08T07:00:00.500Z");
    EXPECT_EQ(online.value("poll").toObject().value("state"), 1);
    EXPECT_EQ(online.value("lastReading"), "2026-12-08T07:00:00.500Z");
    EXPECT_EQ(online.value("dropped"), 7);

    EXPECT_TRUE(status.Note("controller", Controller("2026-12-08T07:00:01.000Z", 2)));
    // A new connection sends it again, unchanged as it is.
    status.Reconnected();
    EXPECT_TRUE(status.Note("controller", Controller("2026-12-08T07:00:01.500Z", 2)));

    const QJsonObject goodbye = Object(status.Goodbye(0, 0));
    EXPECT_EQ(goodbye.value("status"), "offline");
    EXPECT_EQ(goodbye.value("reason"), "stopped");
    const QJsonObject will = Object(status.Will(0));
    EXPECT_EQ(will.value("reason"), "lost");
    EXPECT_TRUE(will.value("time").isNull());
    EXPECT_EQ(will.value("connected"), "1970-01-01T00:00:00.000Z");
}

}  // namespace
