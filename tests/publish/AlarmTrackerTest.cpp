#include "device/Vantor.h"
#include "publish/AlarmTracker.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

constexpr qint64 kStart = 1'773'100'800'000;

// A station started while a probe has no link and a sensor is faulty: both alarms are news to
// whoever listens, though the tracker never saw them begin. Normal states seen first are not.
TEST(AlarmTracker, AlarmsAlreadyActiveAtTheFirstLookAreToldAndNormalStatesAreNot)
{
    TVantor vantor;
    for (int n = 1; n <= 4; ++n)
        vantor.Input(n).OprosState.SetValue(0);
    vantor.Input(2).TemperState[3].SetValue(4);  // AAA9, a fault
    vantor.Input(3).OprosState.SetValue(3);      // no link
    TAlarmTracker tracker;
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

}  // namespace
