#include "AlarmBook.h"
#include "AlarmStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr qint64 kT = 1796860000000;  // 2026-12-09T23:46:40Z

TAlarmMessage Event(const QString& kind, int input, int sensor, bool active, qint64 time, qint64 start = 0, qint64 seq = 0)
{
    TAlarmMessage m;
    m.Kind = kind;
    m.Input = input;
    m.Sensor = sensor;
    m.Active = active;
    m.Time = time;
    m.Start = start;
    m.Text = QStringLiteral("Состояние датчика %1.%2").arg(input).arg(sensor);
    if (seq) {
        m.Epoch = "e1";
        m.Seq = seq;
    }
    return m;
}

TActiveList List(qint64 time, const QVector<TAlarmMessage>& alarms)
{
    TActiveList l;
    l.Time = time;
    l.Alarms = alarms;
    return l;
}

QStringList States(const TAlarmBook& book)
{
    QStringList states;
    for (const TAlarm& a : book.All())
        states << QStringLiteral("%1 %2.%3 %4").arg(a.Kind).arg(a.Input).arg(a.Sensor).arg(a.Active() ? "active" : "ended");
    states.sort();
    return states;
}

}  // namespace

TEST(DispatchAlarms, EventsAndTheActiveListAgreeOnOneAlarm)
{
    TAlarmBook book;
    book.WantsAlert = [](const TAlarm&) { return true; };
    book.TakeEvent("a", Event("sensor", 5, 1, true, kT, 0, 1));
    // The same alarm in the station's list: its since is the begin's time.
    book.TakeActiveList("a", List(kT, {Event("sensor", 5, 1, true, kT)}));
    ASSERT_EQ(book.All().size(), 1);
    // Sent again after a lost acknowledgement: nothing changes.
    book.TakeEvent("a", Event("sensor", 5, 1, true, kT, 0, 1));
    book.TakeEvent("a", Event("sensor", 5, 1, false, kT + 5000, 0, 2));
    book.TakeEvent("a", Event("sensor", 5, 1, false, kT + 9000, 0, 2));
    ASSERT_EQ(book.All().size(), 1);
    const TAlarm& a = *book.All().cbegin();
    EXPECT_EQ(a.End, kT + 5000);
    // It begins again: another alarm, the ended one stays in the list.
    book.TakeEvent("a", Event("sensor", 5, 1, true, kT + 60000, 0, 3));
    EXPECT_EQ(States(book), QStringList({"sensor 5.1 active", "sensor 5.1 ended"}));
    const auto alerts = book.TakeAlerts();
    ASSERT_EQ(alerts.size(), 3);  // begin, end, begin: each once
    EXPECT_TRUE(alerts[0].second);
    EXPECT_FALSE(alerts[1].second);
}

TEST(DispatchAlarms, TheListEndsWhatItNoLongerHoldsButNotWhatBeganAfterIt)
{
    TAlarmBook book;
    book.TakeActiveList("a", List(kT, {Event("input", 13, 0, true, kT - 1000), Event("sensor", 5, 1, true, kT - 500)}));
    book.TakeEvent("a", Event("rise", 7, 3, true, kT + 2000));
    // An older list comes late (a retained one, after the event): the rise stays active.
    book.TakeActiveList("a", List(kT + 1000, {Event("sensor", 5, 1, true, kT - 500)}));
    EXPECT_EQ(States(book), QStringList({"input 13.0 ended", "rise 7.3 active", "sensor 5.1 active"}));
    EXPECT_EQ(book.RisingMask("a", 7), 1u << 2);
    EXPECT_EQ(book.RisingMask("b", 7), 0u);
    // Another station's list ends nothing of this one.
    book.TakeActiveList("b", List(kT + 3000, {}));
    EXPECT_EQ(book.ActiveOf("a").size(), 2);
}

TEST(DispatchAlarms, AnIdentityAcrossRestartsKeysTheAlarm)
{
    TAlarmBook book;
    // A station of a later version tells the start: a restart's list repeats it, and the end
    // names it, whatever other alarm of the same sensor began meanwhile.
    book.TakeEvent("a", Event("sensor", 5, 1, true, kT, kT));
    book.TakeActiveList("a", List(kT + 60000, {Event("sensor", 5, 1, true, kT + 60000, kT)}));
    EXPECT_EQ(book.All().size(), 1);
    book.TakeEvent("a", Event("sensor", 5, 1, false, kT + 70000, kT));
    EXPECT_EQ(States(book), QStringList({"sensor 5.1 ended"}));
    // Ended while the dispatcher was away: it shows, begun and ended.
    book.TakeEvent("a", Event("controller", 0, 0, false, kT + 80000, kT + 75000));
    EXPECT_EQ(States(book), QStringList({"controller 0.0 ended", "sensor 5.1 ended"}));
}

TEST(DispatchAlarms, AcknowledgementsAndUnsentAlertsOutliveTheService)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/DATA/dispatch.sqlite";
    QString key;
    {
        TAlarmStore store;
        QString reason;
        ASSERT_TRUE(store.Open(path, reason)) << reason.toStdString();
        TAlarmBook book;
        book.WantsAlert = [](const TAlarm& a) { return a.Kind == "sensor"; };
        book.TakeEvent("a", Event("sensor", 5, 1, true, kT));
        book.TakeEvent("a", Event("input", 13, 0, true, kT));
        for (const TAlarm& a : book.All())
            if (a.Kind == "sensor")
                key = a.Key;
        ASSERT_TRUE(book.Acknowledge(key, "Иванов", kT + 1000));
        EXPECT_FALSE(book.Acknowledge("no such", "Иванов", kT + 1000));
        EXPECT_EQ(book.TakeAlerts().size(), 1);  // the kind filter: only the sensor's
        ASSERT_TRUE(store.Save(book, book.TakeUnsaved(), reason)) << reason.toStdString();
    }
    TAlarmStore store;
    QString reason;
    ASSERT_TRUE(store.Open(path, reason));
    TAlarmBook book;
    book.Load(store.Load());
    const TAlarm* a = book.Find(key);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->AckName, "Иванов");
    EXPECT_EQ(a->AckTime, kT + 1000);
    // Not sent before the stop: sent after the start, once.
    const auto alerts = book.TakeAlerts();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].first, key);
    book.AlertSent(key, true);
    ASSERT_TRUE(store.Save(book, book.TakeUnsaved(), reason));
    TAlarmBook again;
    again.Load(store.Load());
    EXPECT_TRUE(again.TakeAlerts().isEmpty());
    // Yesterday's ended alarms leave the list, but not before their alerts went; active ones
    // stay whatever their age.
    again.WantsAlert = [](const TAlarm& a) { return a.Kind == "sensor"; };
    again.TakeEvent("a", Event("input", 13, 0, false, kT + 2000));
    again.TakeEvent("a", Event("sensor", 7, 2, true, kT + 2000));
    again.TakeEvent("a", Event("sensor", 7, 2, false, kT + 3000));
    const qint64 later = kT + 2 * 24 * 3600 * 1000LL;
    again.Purge(later);
    EXPECT_EQ(States(again), QStringList({"sensor 5.1 active", "sensor 7.2 ended"}));
    for (const auto& [sent, began] : again.TakeAlerts())
        again.AlertSent(sent, began);
    again.Purge(later);
    EXPECT_EQ(States(again), QStringList({"sensor 5.1 active"}));
}
