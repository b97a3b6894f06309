#include "Fleet.h"

#include "values/DateTime.h"
#include "values/TimeTexts.h"

#include <QDateTime>
#include <QTextStream>

#include <algorithm>

namespace {

constexpr int kStalePeriods = 3;  // heartbeats missed before a station counts as silent
constexpr int kControllerFailed = 2;
constexpr qsizetype kMostToldSkips = 10000;
const QString kOnline = QStringLiteral("online");

QString LocalText(qint64 ms) { return DateTimeText(QDateTimeToDateTime(QDateTime::fromMSecsSinceEpoch(ms))); }

}  // namespace

TFleet::TFleet(const QString& root, int staleMinutes) : Root_(root), StaleMs_(qint64(staleMinutes) * 60 * 1000) {}

TStation& TFleet::Station(const QString& name)
{
    auto found = Stations_.find(name);
    if (found == Stations_.end()) {
        found = Stations_.insert(name, std::make_shared<TStation>());
        (*found)->Name = name;
    }
    Changes_.Tiles.insert(name);
    return **found;
}

const TStation* TFleet::Find(const QString& name) const
{
    const auto found = Stations_.constFind(name);
    return found == Stations_.cend() ? nullptr : found->get();
}

void TFleet::Skip(const QString& station, TSkip why, const QString& topic)
{
    (why == TSkip::Malformed ? Skipped_.Malformed : Skipped_.UnknownSchema)++;
    // Once per station and reason: a station of another version would fill the journal.
    const QPair<QString, int> told{station, int(why)};
    if (Told_.contains(told) || Told_.size() >= kMostToldSkips)
        return;
    Told_.insert(told);
    QTextStream(stderr) << QStringLiteral("Пропущено сообщение «%1»: %2; такие сообщения станции далее только считаются\n")
                               .arg(topic, why == TSkip::Malformed ? QStringLiteral("содержимое не разобрано")
                                                                   : QStringLiteral("неизвестная версия схемы"));
}

void TFleet::AllRows(const QString& station) { Changes_.Rows[station].set(); }

void TFleet::Take(const QString& topic, const QByteArray& payload, qint64 now)
{
    TTopic t;
    if (!ParseTopic(Root_, topic, t) || t.Kind == TTopicKind::Other)
        return;
    // An empty retained message takes a topic away: a station taken out of service.
    if (payload.isEmpty()) {
        const auto found = Stations_.find(t.Station);
        if (found == Stations_.end())
            return;
        TStation& s = **found;
        if (t.Kind == TTopicKind::Status)
            s.HasStatus = false;
        else if (t.Kind == TTopicKind::Controller)
            s.HasController = false;
        else if (t.Kind == TTopicKind::Input)
            s.Inputs[t.Input - 1] = {};
        Changes_.Tiles.insert(t.Station);
        Changes_.Rows[t.Station].set();
        const bool anyInput = std::any_of(s.Inputs.cbegin(), s.Inputs.cend(), [](const TInputSlot& i) { return i.Known; });
        if (!s.HasStatus && !s.HasController && !anyInput)
            Stations_.erase(found);
        return;
    }
    TSkip skip = TSkip::None;
    switch (t.Kind) {
    case TTopicKind::Status: {
        TStatusMessage m;
        if ((skip = ParseStatus(payload, m)) == TSkip::None) {
            TStation& s = Station(t.Station);
            s.Status = m;
            s.HasStatus = true;
            Judge(s, now);
        }
        break;
    }
    case TTopicKind::Controller: {
        TControllerMessage m;
        if ((skip = ParseController(payload, m)) == TSkip::None) {
            TStation& s = Station(t.Station);
            s.Controller = m;
            s.HasController = true;
            Changes_.Signatures.insert(t.Station);
            Judge(s, now);
        }
        break;
    }
    case TTopicKind::Input:
        TakeInput(t.Station, t.Input, payload, topic);
        return;
    case TTopicKind::Readings:
        TakeReading(t.Station, payload, topic);
        return;
    case TTopicKind::AlarmEvents: {
        TAlarmMessage m;
        if ((skip = ParseAlarmEvent(payload, m)) == TSkip::None) {
            Station(t.Station);
            Alarms_.TakeEvent(t.Station, m);
        }
        break;
    }
    case TTopicKind::AlarmsActive: {
        TActiveList m;
        if ((skip = ParseActiveList(payload, m)) == TSkip::None) {
            Station(t.Station);
            Alarms_.TakeActiveList(t.Station, m);
        }
        break;
    }
    case TTopicKind::Other:
        break;
    }
    if (skip != TSkip::None)
        Skip(t.Station, skip, topic);
}

void TFleet::TakeInput(const QString& station, int n, const QByteArray& payload, const QString& topic)
{
    TInputData d;
    if (const TSkip skip = ParseInput(payload, n, d); skip != TSkip::None) {
        Skip(station, skip, topic);
        return;
    }
    TStation& s = Station(station);
    TInputSlot& slot = s.Inputs[n - 1];
    slot.Known = true;
    slot.Data = d;
    for (int i = 0; i < kSensors; ++i)
        if (!std::isnan(d.Temperature[i]))
            slot.Shown[i] = d.Temperature[i];
    s.NewestInput = qMax(s.NewestInput, d.Time);
    Changes_.Rows[s.Name].set(n - 1);
}

void TFleet::TakeReading(const QString& station, const QByteArray& payload, const QString& topic)
{
    TReadingMessage m;
    if (const TSkip skip = ParseReading(payload, m); skip != TSkip::None) {
        Skip(station, skip, topic);
        return;
    }
    TStation& s = Station(station);
    // A copy sent again after a lost acknowledgement.
    if (m.Epoch == s.ReadingsEpoch && m.Seq <= s.ReadingsSeq)
        return;
    s.ReadingsEpoch = m.Epoch;
    s.ReadingsSeq = m.Seq;
    TReadingRow row;
    row.Time = m.Time;
    row.State = qint8(m.State);
    for (int i = 0; i < kSensors; ++i) {
        row.SensorState[i] = qint8(m.SensorState[i]);
        row.Temperature[i] = m.Temperature[i];
    }
    QVector<TReadingRow>& readings = s.Inputs[m.Input - 1].Readings;
    if (readings.size() >= kReadingsKept)
        readings.removeFirst();
    readings.append(row);
    Changes_.Readings.insert({s.Name, m.Input});
}

qint64 TFleet::LastReading(const TStation& s) const
{
    return qMax(s.NewestInput, s.HasStatus ? s.Status.LastReading : 0);
}

bool TFleet::Alive(const TStation& s, qint64 now) const
{
    if (!s.HasStatus || s.Status.Status != kOnline || s.Status.Time == 0)
        return false;
    // A clock ahead of ours makes no heartbeat younger than now.
    if (s.Status.Period > 0 && now - qMin(s.Status.Time, now) > qint64(kStalePeriods) * s.Status.Period * 1000)
        return false;
    const qint64 last = LastReading(s);
    return last == 0 || now - qMin(last, now) <= StaleMs_;
}

QString TFleet::StatusText(const TStation& s, qint64 now) const
{
    if (!s.HasStatus)
        return QStringLiteral("нет сведений о станции");
    if (s.Status.Status != kOnline) {
        if (s.Status.Reason == QStringLiteral("stopped"))
            return QStringLiteral("станция остановлена ") + LocalText(s.Status.Time);
        return QStringLiteral("нет связи со станцией");
    }
    if (Alive(s, now))
        return QStringLiteral("на связи");
    const qint64 last = LastReading(s);
    if (s.Status.Period > 0 && now - s.Status.Time > qint64(kStalePeriods) * s.Status.Period * 1000)
        return QStringLiteral("станция не сообщает о себе с ") + LocalText(s.Status.Time);
    return QStringLiteral("нет новых показаний с ") + LocalText(last);
}

bool TFleet::InputsStale(const TStation& s) const
{
    return !s.Alive || (s.HasController && s.Controller.State == kControllerFailed);
}

void TFleet::Judge(TStation& s, qint64 now)
{
    const bool alive = Alive(s, now);
    if (alive != s.Alive) {
        s.Alive = alive;
        Changes_.Tiles.insert(s.Name);
    }
    const bool stale = InputsStale(s);
    if (stale != s.RowsStale) {
        s.RowsStale = stale;
        AllRows(s.Name);
    }
}

void TFleet::Tick(qint64 now)
{
    for (const std::shared_ptr<TStation>& s : std::as_const(Stations_))
        Judge(*s, now);
    Alarms_.Purge(now);
}

TFleet::TChanges TFleet::TakeChanges()
{
    static const QString rise = QStringLiteral("rise");
    // An alarm changes its station's tile (the counts) and, a rise, its input's row (the colour).
    for (const QString& key : Alarms_.TakeChanged()) {
        Changes_.Alarms.insert(key);
        const TAlarm* a = Alarms_.Find(key);
        const QString station = a ? a->Station : TAlarmBook::StationOf(key);
        Changes_.Tiles.insert(station);
        if (a && a->Kind == rise && a->Input >= 1 && a->Input <= kInputs)
            Changes_.Rows[station].set(a->Input - 1);
    }
    // A station that is gone has no rows to draw.
    for (const QString& name : Changes_.Tiles)
        if (!Stations_.contains(name))
            Changes_.Rows.remove(name);
    return std::exchange(Changes_, {});
}
