#include "AlarmBook.h"

#include <QDateTime>

namespace {

const QString kRise = QStringLiteral("rise");
const QChar kSeparator(0x1F);

void Describe(TAlarm& a, const TAlarmMessage& m)
{
    a.Text = m.Text;
    a.Severity = m.Severity;
    a.Code = m.Code;
    a.Rate = m.Rate;
    a.Threshold = m.Threshold;
}

}  // namespace

QString TAlarmBook::KeyOf(const QString& station, const TAlarmMessage& m, qint64 start)
{
    if (!m.Id.isEmpty())
        return station + kSeparator + m.Id;
    return QStringList{station, m.Kind, QString::number(m.Input), QString::number(m.Sensor), QString::number(start)}.join(
        kSeparator);
}

QString TAlarmBook::StationOf(const QString& key) { return key.section(kSeparator, 0, 0); }

void TAlarmBook::Touch(const QString& key)
{
    Changed_.insert(key);
    Unsaved_.insert(key);
}

void TAlarmBook::Load(const QVector<TAlarm>& alarms)
{
    for (const TAlarm& a : alarms) {
        Alarms_.insert(a.Key, a);
        if (a.Active())
            Open_[a.Station].insert(a.Key);
        if (a.AlertBegin == TAlertState::Pending)
            Alerts_.append({a.Key, true});
        if (a.AlertEnd == TAlertState::Pending)
            Alerts_.append({a.Key, false});
        Changed_.insert(a.Key);
    }
}

void TAlarmBook::Begin(const QString& station, const TAlarmMessage& m, qint64 start, bool alert)
{
    const QString key = KeyOf(station, m, start);
    auto found = Alarms_.find(key);
    if (found != Alarms_.end()) {
        // Told again (a repeated list, a station started anew): only its texts may have changed.
        TAlarm& a = *found;
        const QString text = a.Text;
        const QString severity = a.Severity;
        Describe(a, m);
        if (a.Text != text || a.Severity != severity)
            Touch(key);
        return;
    }
    TAlarm a;
    a.Key = key;
    a.Station = station;
    a.Id = m.Id;
    a.Kind = m.Kind;
    a.Input = m.Input;
    a.Sensor = m.Sensor;
    a.Start = start;
    Describe(a, m);
    if (alert && WantsAlert && WantsAlert(a)) {
        a.AlertBegin = TAlertState::Pending;
        Alerts_.append({key, true});
    }
    Alarms_.insert(key, a);
    Open_[station].insert(key);
    Touch(key);
}

void TAlarmBook::End(TAlarm& a, qint64 time)
{
    if (!a.Active())
        return;
    a.End = qMax(time, a.Start + 1);
    Open_[a.Station].remove(a.Key);
    if (WantsAlert && WantsAlert(a)) {
        a.AlertEnd = TAlertState::Pending;
        Alerts_.append({a.Key, false});
    }
    Touch(a.Key);
}

TAlarm* TAlarmBook::OpenLike(const QString& station, const TAlarmMessage& m)
{
    TAlarm* latest = nullptr;
    for (const QString& key : Open_.value(station)) {
        TAlarm& a = Alarms_[key];
        if (a.Kind == m.Kind && a.Input == m.Input && a.Sensor == m.Sensor && (!latest || a.Start > latest->Start))
            latest = &a;
    }
    return latest;
}

void TAlarmBook::TakeEvent(const QString& station, const TAlarmMessage& m)
{
    if (!m.Epoch.isEmpty()) {
        QPair<QString, qint64>& last = LastEvent_[station];
        if (last.first == m.Epoch && m.Seq <= last.second)
            return;
        last = {m.Epoch, m.Seq};
    }
    if (m.Active) {
        Begin(station, m, m.Start ? m.Start : m.Time);
        return;
    }
    TAlarm* alarm = nullptr;
    if (!m.Id.isEmpty() || m.Start) {
        const auto found = Alarms_.find(KeyOf(station, m, m.Start));
        if (found == Alarms_.end()) {
            // Its begin came before the dispatcher was there: it began and ended all the same.
            Begin(station, m, m.Start, false);
            alarm = &Alarms_[KeyOf(station, m, m.Start)];
        } else {
            alarm = &*found;
        }
    } else {
        alarm = OpenLike(station, m);
    }
    if (alarm)
        End(*alarm, m.Time);
}

void TAlarmBook::TakeActiveList(const QString& station, const TActiveList& list)
{
    QSet<QString> listed;
    for (const TAlarmMessage& m : list.Alarms) {
        const qint64 start = m.Start ? m.Start : m.Time;
        const QString key = KeyOf(station, m, start);
        listed.insert(key);
        const auto found = Alarms_.find(key);
        // Ended by an event older than the list: the list knows better.
        if (found != Alarms_.end() && !found->Active() && found->End < list.Time) {
            found->End = 0;
            Open_[station].insert(key);
            Touch(key);
        }
        Begin(station, m, start);
    }
    for (const QString& key : Open_.value(station)) {
        TAlarm& a = Alarms_[key];
        // One that began after the list was made is not ended by it.
        if (!listed.contains(key) && a.Start <= list.Time)
            End(a, list.Time);
    }
}

bool TAlarmBook::Acknowledge(const QString& key, const QString& name, qint64 now)
{
    const auto found = Alarms_.find(key);
    if (found == Alarms_.end())
        return false;
    found->AckName = name;
    found->AckTime = now;
    Touch(key);
    return true;
}

void TAlarmBook::AlertSent(const QString& key, bool began)
{
    const auto found = Alarms_.find(key);
    if (found == Alarms_.end())
        return;
    (began ? found->AlertBegin : found->AlertEnd) = TAlertState::Done;
    Unsaved_.insert(key);
}

void TAlarmBook::Purge(qint64 now)
{
    const qint64 today = QDateTime::fromMSecsSinceEpoch(now).date().startOfDay().toMSecsSinceEpoch();
    // One whose alert is still to go stays until it went: it may have ended yesterday, told only now.
    for (auto it = Alarms_.begin(); it != Alarms_.end();) {
        if (!it->Active() && it->End < today && it->AlertBegin != TAlertState::Pending
            && it->AlertEnd != TAlertState::Pending) {
            Touch(it.key());
            it = Alarms_.erase(it);
        } else {
            ++it;
        }
    }
}

const TAlarm* TAlarmBook::Find(const QString& key) const
{
    const auto found = Alarms_.constFind(key);
    return found == Alarms_.cend() ? nullptr : &*found;
}

QVector<const TAlarm*> TAlarmBook::ActiveOf(const QString& station) const
{
    QVector<const TAlarm*> alarms;
    for (const QString& key : Open_.value(station))
        if (const TAlarm* a = Find(key))
            alarms.append(a);
    return alarms;
}

unsigned TAlarmBook::RisingMask(const QString& station, int input) const
{
    unsigned mask = 0;
    for (const TAlarm* a : ActiveOf(station))
        if (a->Kind == kRise && a->Input == input && a->Sensor >= 1 && a->Sensor <= kSensors)
            mask |= 1u << (a->Sensor - 1);
    return mask;
}
