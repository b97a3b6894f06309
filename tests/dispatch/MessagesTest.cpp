#include "Fleet.h"
#include "Messages.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kInput5 =
    R"({"schema":2,"input":5,"state":0,"stateText":"Норма","battery":26,"time":"2026-12-09T23:49:24.266Z",
        "sensors":[{"sensor":1,"state":2,"stateText":"AAA7","temperature":null,"boundActive":null},
                   {"sensor":2,"state":1,"stateText":"Норма","temperature":12.8125,"boundActive":false},
                   {"sensor":3,"state":1,"stateText":"Норма","temperature":13.5,"boundActive":true},
                   {"sensor":4,"state":1,"stateText":"Норма","temperature":13.0},
                   {"sensor":5,"state":1,"stateText":"Норма","temperature":14.0},
                   {"sensor":6,"state":1,"stateText":"Норма","temperature":14.5}],
        "bound":15,"periodMinutes":5,"enabled":true,"plantNumber":20005,"unit":"°C"})";

QByteArray Replaced(QByteArray payload, const QByteArray& from, const QByteArray& to) { return payload.replace(from, to); }

}  // namespace

TEST(DispatchMessages, TopicsAreReadUnderTheRootOnly)
{
    TTopic t;
    ASSERT_TRUE(ParseTopic("site/a", "site/a/line 1/input/17", t));
    EXPECT_EQ(t.Station, "line 1");
    EXPECT_EQ(t.Kind, TTopicKind::Input);
    EXPECT_EQ(t.Input, 17);
    ASSERT_TRUE(ParseTopic("site/a", "site/a/line1/alarms/active", t));
    EXPECT_EQ(t.Kind, TTopicKind::AlarmsActive);
    // A number the grid has no row for, or written otherwise, is no input.
    for (const char* other : {"site/a/l/input/193", "site/a/l/input/0", "site/a/l/input/07", "site/a/l/input/5/x", "site/a/l/news"}) {
        ASSERT_TRUE(ParseTopic("site/a", other, t)) << other;
        EXPECT_EQ(t.Kind, TTopicKind::Other) << other;
    }
    EXPECT_FALSE(ParseTopic("site/a", "site/ab/line1/status", t));
    EXPECT_FALSE(ParseTopic("site/a", "site/a//status", t));
}

TEST(DispatchMessages, AnInputAsTheStationPublishedIt)
{
    TInputData d;
    ASSERT_EQ(ParseInput(kInput5, 5, d), TSkip::None);
    EXPECT_EQ(d.State, 0);
    EXPECT_EQ(d.SensorState[0], 2);
    EXPECT_TRUE(std::isnan(d.Temperature[0]));
    EXPECT_FLOAT_EQ(d.Temperature[1], 12.8125f);
    EXPECT_EQ(d.BoundActive[0], -1);
    EXPECT_EQ(d.BoundActive[1], 0);
    EXPECT_EQ(d.BoundActive[2], 1);
    EXPECT_TRUE(d.SettingsKnown);
    EXPECT_EQ(d.Enabled, 1);
    // Fields a station of an older version does not send are unknown, not zero.
    EXPECT_EQ(d.SoftVersion, -1);
    EXPECT_EQ(d.Crc, "");
}

TEST(DispatchMessages, MalformedAndUnknownSchemaAreToldApart)
{
    TInputData d;
    EXPECT_EQ(ParseInput(Replaced(kInput5, R"("schema":2)", R"("schema":3)"), 5, d), TSkip::UnknownSchema);
    EXPECT_EQ(ParseInput(Replaced(kInput5, R"("schema":2,)", ""), 5, d), TSkip::UnknownSchema);
    const QList<QByteArray> malformed = {
        "", "not json", "[1,2]", R"({"schema":"2"})",
        kInput5.left(kInput5.size() - 1),                                   // cut off
        Replaced(kInput5, R"("input":5)", R"("input":6)"),                 // another input than the topic's
        Replaced(kInput5, R"("state":0,)", R"("state":"0",)"),
        Replaced(kInput5, R"("temperature":13.5)", R"("temperature":"13.5")"),
        Replaced(kInput5, R"({"sensor":6,"state":1,"stateText":"Норма","temperature":14.5})", "null"),
        Replaced(kInput5, R"("time":"2026-12-09T23:49:24.266Z")", R"("time":"вчера")"),
        Replaced(kInput5, R"("bound":15)", R"("bound":"15")"),
        Replaced(kInput5, R"("boundActive":true)", R"("boundActive":1)")};
    for (const QByteArray& payload : malformed)
        EXPECT_EQ(ParseInput(payload, 5, d), TSkip::Malformed) << payload.constData();

    TStatusMessage status;
    EXPECT_EQ(ParseStatus(R"({"schema":2,"station":"a","status":"online","time":"x","period":10})", status), TSkip::Malformed);
    EXPECT_EQ(ParseStatus(R"({"schema":2,"station":"a","status":"online","time":"2026-12-09T23:49:28.098Z","period":0})", status),
              TSkip::Malformed);
    TAlarmMessage event;
    EXPECT_EQ(ParseAlarmEvent(R"({"schema":2,"kind":"sensor","input":5,"sensor":1,"text":"t","time":"2026-12-09T23:49:28Z"})", event),
              TSkip::Malformed);  // begins or ends?
    TActiveList list;
    EXPECT_EQ(ParseActiveList(R"({"schema":2,"time":"2026-12-09T23:49:28Z","alarms":[{"kind":"input"}]})", list), TSkip::Malformed);
    EXPECT_EQ(ParseActiveList(R"({"schema":1,"time":"2026-12-09T23:49:28Z","alarms":[]})", list), TSkip::UnknownSchema);
}

TEST(DispatchMessages, AnAlarmOfALaterVersionKeepsWhatItAdds)
{
    TAlarmMessage a;
    ASSERT_EQ(ParseAlarmEvent(R"({"schema":2,"kind":"rise","input":7,"sensor":3,"active":true,"text":"рост",
        "time":"2026-12-09T23:49:28Z","start":"2026-12-09T23:40:00Z","severity":"warning","state":4,"rate":0.2,"threshold":0.04,
        "epoch":"e","seq":12,"newField":{"x":1}})", a), TSkip::None);
    EXPECT_EQ(a.Kind, "rise");
    EXPECT_EQ(a.Severity, "warning");
    EXPECT_EQ(a.Code, 4);
    EXPECT_DOUBLE_EQ(a.Rate, 0.2);
    EXPECT_NE(a.Start, a.Time);
    EXPECT_EQ(a.Seq, 12);
}

TEST(DispatchFleet, SkippedPayloadsAreCountedAndChangeNothing)
{
    TFleet fleet("orvela", 10);
    const qint64 now = 1796860000000;
    fleet.Take("orvela/line1/input/5", kInput5, now);
    fleet.Take("orvela/line1/input/5", "{broken", now);
    fleet.Take("orvela/line1/input/5", Replaced(kInput5, R"("schema":2)", R"("schema":7)"), now);
    fleet.Take("orvela/line1/status", R"({"schema":2,"status":7})", now);
    fleet.Take("orvela/line1/alarms/active", "[]", now);
    fleet.Take("orvela/line1/readings", R"({"schema":9})", now);
    fleet.Take("orvela/line1/something/new", "whatever", now);  // a topic of a later version: not counted
    fleet.Take("orvela/junk/input/3", "{", now);
    EXPECT_EQ(fleet.Find("junk"), nullptr);
    EXPECT_EQ(fleet.Skipped().Malformed, 4);
    EXPECT_EQ(fleet.Skipped().UnknownSchema, 2);
    const TStation* s = fleet.Find("line1");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->Inputs[4].Known);
    EXPECT_FLOAT_EQ(s->Inputs[4].Data.Temperature[1], 12.8125f);
    EXPECT_FALSE(s->HasStatus);
}

TEST(DispatchFleet, AStationLivesByItsHeartbeatAndReadings)
{
    TFleet fleet("orvela", 10);
    const qint64 t0 = 1796860000000;  // 2026-12-09T..., ISO below is 2026-12-09T23:46:40Z
    const QByteArray heartbeat = R"({"schema":2,"station":"a","status":"online","time":"2026-12-09T23:46:40.000Z","period":10,
                                    "lastReading":"2026-12-09T23:46:40.000Z"})";
    fleet.Take("orvela/a/status", heartbeat, t0);
    const TStation& s = *fleet.Find("a");
    EXPECT_TRUE(fleet.Alive(s, t0 + 30000));
    EXPECT_FALSE(fleet.Alive(s, t0 + 31000));  // three periods without a heartbeat
    EXPECT_TRUE(fleet.StatusText(s, t0 + 31000).startsWith("станция не сообщает о себе"));
    // Heartbeats go on, readings do not: the controller is silent.
    fleet.Take("orvela/a/status", QByteArray(heartbeat).replace("\"time\":\"2026-12-09T23:46:40", "\"time\":\"2026-12-09T23:56:40"),
               t0 + 601000);
    EXPECT_FALSE(fleet.Alive(s, t0 + 601000));
    EXPECT_TRUE(fleet.StatusText(s, t0 + 601000).startsWith("нет новых показаний"));
    fleet.Take("orvela/a/status", R"({"schema":2,"station":"a","status":"offline","reason":"lost","time":null,
                                    "connected":"2026-12-09T23:40:00.000Z","period":10})", t0 + 602000);
    EXPECT_FALSE(fleet.Alive(s, t0 + 602000));
    EXPECT_EQ(fleet.StatusText(s, t0 + 602000), "нет связи со станцией");
}
