#include "device/Vantor.h"
#include "publish/AlarmTracker.h"
#include "station/AlarmLines.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

constexpr qint64 kStart = 1'773'100'800'000;

// The events say what the station's alarm log says.
const TAlarmTexts kTexts{&ModuleErrorLine, &ErrorCodeLine, &InputStateLine, &SensorStateLine, &SensorStateText};

// A station started while a probe has no link and a sensor is faulty: both alarms are news to
// whoever listens, though the tracker never saw them begin. Normal states seen first are not.
TEST(AlarmTracker, AlarmsAlreadyActiveAtTheFirstLookAreToldAndNormalStatesAreNot)
{
    TVantor vantor;
    for (int n = 1; n <= 4; ++n)
        vantor.Input(n).OprosState.SetValue(0);
    vantor.Input(2).TemperState[3].SetValue(4);  // AAA9, a fault
    vantor.Input(3).OprosState.SetValue(3);      // no link
    TAlarmTracker tracker(kTexts, "line1");
    const QVector<TAlarmEvent> first = tracker.Update(vantor, 1, 4, kStart);
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(first[0].Input, 2);
    EXPECT_EQ(first[0].Sensor, 4);
    EXPECT_TRUE(first[0].Active);
    EXPECT_TRUE(first[0].Text.startsWith("Состояние датчика 2.4: AAA9 (")) << first[0].Text.toStdString();
    EXPECT_EQ(first[1].Input, 3);
    EXPECT_TRUE(first[1].Active);
    EXPECT_EQ(first[1].Text, "Вход 3 (№ 0) Состояние обмена: Нет связи");
    EXPECT_TRUE(tracker.TakeChanged());
    EXPECT_EQ(QJsonDocument::fromJson(tracker.ActivePayload()).object().value("count").toInt(), 2);

    // Nothing new is nothing told; the link's return ends its alarm.
    EXPECT_TRUE(tracker.Update(vantor, 1, 4, kStart + 1000).isEmpty());
    vantor.Input(3).OprosState.SetValue(0);
    const QVector<TAlarmEvent> back = tracker.Update(vantor, 1, 4, kStart + 2000);
    ASSERT_EQ(back.size(), 1);
    EXPECT_FALSE(back[0].Active);
    EXPECT_EQ(back[0].Text, "Вход 3 (№ 0) Состояние обмена: Норма");
    EXPECT_EQ(tracker.ActiveCount(), 1);
}

// A station started again: what it left running goes on unannounced under the same identity, what
// ended meanwhile is ended under it, a changed state goes on under it, and new alarms begin.
TEST(AlarmTracker, AlarmsKeptFromBeforeARestartGoOnEndOrChangeAsTheyAreRead)
{
    TVantor vantor;
    for (int n = 1; n <= 4; ++n)
        vantor.Input(n).OprosState.SetValue(0);
    vantor.Input(1).OprosState.SetValue(3);      // no link
    vantor.Input(2).TemperState[3].SetValue(4);  // AAA9
    vantor.Input(4).TemperState[0].SetValue(6);  // AAAB
    QVector<QByteArray> kept;
    {
        TAlarmTracker before(kTexts, "line1");
        for (const TAlarmEvent& e : before.Update(vantor, 1, 4, kStart))
            kept.append(e.ToJson());
        const std::optional<TAlarmEvent> rise = before.Rise(3, 2, true, 2.0, 1.0, "рост", 1, kStart + 10);
        ASSERT_TRUE(rise);
        kept.append(rise->ToJson());
    }
    ASSERT_EQ(kept.size(), 4);
    const QJsonObject link = QJsonDocument::fromJson(kept[0]).object();
    EXPECT_EQ(link.value("id"), "line1/input/1/0/2026-03-10T00:00:00.000Z");
    EXPECT_EQ(link.value("state"), 3);
    EXPECT_EQ(link.value("severity"), "warning");
    EXPECT_EQ(QJsonDocument::fromJson(kept[3]).object().value("severity"), "critical");

    // Down meanwhile: sensor 2.4 changed its fault, 4.1 was mended, 3.5 broke.
    vantor.Input(2).TemperState[3].SetValue(5);
    vantor.Input(4).TemperState[0].SetValue(1);
    vantor.Input(3).TemperState[4].SetValue(4);
    TAlarmTracker after(kTexts, "line1");
    after.Restore(kept + QVector<QByteArray>{"{}", "not json"});
    const QVector<TAlarmEvent> events = after.Update(vantor, 1, 4, kStart + 60'000);
    ASSERT_EQ(events.size(), 3);
    const auto idOf = [&](int n) { return QJsonDocument::fromJson(kept[n]).object().value("id").toString(); };
    EXPECT_TRUE(events[0].Active);  // 2.4 goes on in another state
    EXPECT_EQ(events[0].Id, idOf(1));
    EXPECT_EQ(events[0].Start, kStart);
    EXPECT_EQ(events[0].State, 5);
    EXPECT_TRUE(events[1].Active);  // 3.5 begins
    EXPECT_EQ(events[1].Start, kStart + 60'000);
    EXPECT_FALSE(events[2].Active);  // 4.1 ended
    EXPECT_EQ(events[2].Id, idOf(2));
    const QJsonArray active = QJsonDocument::fromJson(after.ActivePayload()).object().value("alarms").toArray();
    ASSERT_EQ(active.size(), 4);
    EXPECT_EQ(active[0].toObject().value("since"), "2026-03-10T00:00:00.000Z");

    // The rise found again goes on; one the rise watch no longer sees is for the station to end.
    EXPECT_FALSE(after.Rise(3, 2, true, 2.5, 1.0, "рост", 1, kStart + 70'000));
    EXPECT_TRUE(after.RisesBeside(3, 0b10).isEmpty());
    EXPECT_EQ(after.RisesBeside(3, 0), QVector<int>{2});
    const std::optional<TAlarmEvent> end =
        after.Rise(3, 2, false, std::nullopt, 1.0, "прекратился", 1, kStart + 80'000);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->Id, idOf(3));
    EXPECT_EQ(after.ActiveCount(), 3);
}

}  // namespace
