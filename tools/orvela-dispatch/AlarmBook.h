#pragma once

#include "Messages.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>

enum class TAlertState : quint8 { None, Pending, Done };

// An alarm of one station as the dispatcher keeps it: from its begin to the end of the day it ended.
struct TAlarm {
    QString Key;
    QString Station;
    QString Id;  // the station's own identity, when it sends one
    QString Kind;
    int Input = 0;
    int Sensor = 0;
    QString Text;
    qint64 Start = 0;  // ms since the epoch, UTC
    qint64 End = 0;    // 0 while active
    QString Severity;
    int Code = -1;
    double Rate = NAN;
    double Threshold = NAN;
    QString AckName;  // who acknowledged it, and when
    qint64 AckTime = 0;
    TAlertState AlertBegin = TAlertState::None;
    TAlertState AlertEnd = TAlertState::None;

    bool Active() const { return End == 0; }
};

// The alarms of every station, from alarms/events and alarms/active. An alarm is known by the
// station's identity when it sends one, else by station, kind, input, sensor and start, which
// stay the same for the events and the list entries of one alarm. An event seen twice (the same
// epoch and seq) changes nothing.
class TAlarmBook
{
public:
    // Whether an alarm's begin or end is to be told beyond the screen; none when not set.
    std::function<bool(const TAlarm&)> WantsAlert;

    // The alarms kept by an earlier run, alerts still to send included.
    void Load(const QVector<TAlarm>& alarms);
    void TakeEvent(const QString& station, const TAlarmMessage& event);
    // The station's list of active alarms: what it lacks has ended by its time.
    void TakeActiveList(const QString& station, const TActiveList& list);
    // False for an alarm not known.
    bool Acknowledge(const QString& key, const QString& name, qint64 now);
    void AlertSent(const QString& key, bool began);
    // Alarms that ended before today (local time) leave the list, once their alerts went.
    void Purge(qint64 now);

    const TAlarm* Find(const QString& key) const;
    // The station a key names, also of an alarm gone from the book.
    static QString StationOf(const QString& key);
    const QHash<QString, TAlarm>& All() const { return Alarms_; }
    QVector<const TAlarm*> ActiveOf(const QString& station) const;
    // Bit s - 1 for each sensor s of the input with an active rise alarm.
    unsigned RisingMask(const QString& station, int input) const;

    // Keys changed or gone since the last call: for the pages, and for the store.
    QSet<QString> TakeChanged() { return std::exchange(Changed_, {}); }
    QSet<QString> TakeUnsaved() { return std::exchange(Unsaved_, {}); }
    // Alerts to send: the key and whether it is the begin.
    QVector<QPair<QString, bool>> TakeAlerts() { return std::exchange(Alerts_, {}); }

private:
    static QString KeyOf(const QString& station, const TAlarmMessage& m, qint64 start);
    void Touch(const QString& key);
    // alert: its begin may be told beyond the screen (not when the book learns of it by its end).
    void Begin(const QString& station, const TAlarmMessage& m, qint64 start, bool alert = true);
    void End(TAlarm& alarm, qint64 time);
    // The open alarm an end without a start belongs to: the latest of its kind, input and sensor.
    TAlarm* OpenLike(const QString& station, const TAlarmMessage& m);

    QHash<QString, TAlarm> Alarms_;
    QHash<QString, QSet<QString>> Open_;  // active keys per station
    QHash<QString, QPair<QString, qint64>> LastEvent_;  // epoch and seq per station
    QSet<QString> Changed_;
    QSet<QString> Unsaved_;
    QVector<QPair<QString, bool>> Alerts_;
};
