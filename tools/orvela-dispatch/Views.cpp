#include "Views.h"

#include "GridCells.h"
#include "values/DateTime.h"
#include "values/TimeTexts.h"

#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>

namespace {

const QString kRise = QStringLiteral("rise");
constexpr int kInExchange = 0;
constexpr int kDisabled = 1;
constexpr int kTemperature = 1;

QString IsoText(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs); }
QString LocalText(qint64 ms) { return DateTimeText(QDateTimeToDateTime(QDateTime::fromMSecsSinceEpoch(ms))); }
QJsonValue IsoOrNull(qint64 ms) { return ms ? QJsonValue(IsoText(ms)) : QJsonValue(); }
QJsonValue NumberOrNull(double v) { return std::isnan(v) ? QJsonValue() : QJsonValue(v); }

// The kinds a station sends today, the rise first: the early warning of a heating silo.
const QStringList& KnownKinds()
{
    static const QStringList kinds = {kRise, QStringLiteral("controller"), QStringLiteral("error"),
                                      QStringLiteral("input"), QStringLiteral("sensor")};
    return kinds;
}

QString KindText(const QString& kind)
{
    static const QStringList texts = {QStringLiteral("рост температуры"), QStringLiteral("контроллер"),
                                      QStringLiteral("ошибка контроллера"), QStringLiteral("вход"),
                                      QStringLiteral("датчик")};
    const qsizetype i = KnownKinds().indexOf(kind);
    return i < 0 ? kind : texts[i];
}

// Known kinds in their order, others after them by name.
bool KindBefore(const QString& a, const QString& b)
{
    const qsizetype ia = KnownKinds().indexOf(a), ib = KnownKinds().indexOf(b);
    if (ia != ib)
        return (ia < 0 ? KnownKinds().size() : ia) < (ib < 0 ? KnownKinds().size() : ib);
    return a < b;
}

QJsonArray CellsJson(const QVector<TCell>& cells)
{
    QJsonArray row;
    for (const TCell& c : cells)
        row.append(QJsonArray{c.Text, c.Color});
    return row;
}

int AlarmCount(const TFleet& fleet, const QString& station) { return int(fleet.Alarms().ActiveOf(station).size()); }

}  // namespace

QJsonObject TileJson(const TFleet& fleet, const TStation& s, qint64 now)
{
    QJsonObject o;
    o[QStringLiteral("station")] = s.Name;
    const QString status = s.HasStatus ? s.Status.Status : QStringLiteral("unknown");
    o[QStringLiteral("status")] = status;
    const bool alive = fleet.Alive(s, now);
    o[QStringLiteral("alive")] = alive;
    o[QStringLiteral("stale")] = status == QStringLiteral("online") && !alive;
    o[QStringLiteral("statusText")] = fleet.StatusText(s, now);
    o[QStringLiteral("controller")] = s.HasController ? QJsonValue(QJsonObject{{QStringLiteral("state"), s.Controller.State},
                                                                                {QStringLiteral("text"), s.Controller.StateText}})
                                                      : QJsonValue();
    QMap<QString, int> byKind;
    for (const TAlarm* a : fleet.Alarms().ActiveOf(s.Name))
        ++byKind[a->Kind];
    QStringList kinds = byKind.keys();
    std::sort(kinds.begin(), kinds.end(), KindBefore);
    QJsonArray alarms;
    int total = 0;
    for (const QString& kind : kinds) {
        alarms.append(QJsonObject{{QStringLiteral("kind"), kind}, {QStringLiteral("kindText"), KindText(kind)},
                                  {QStringLiteral("count"), byKind[kind]}});
        total += byKind[kind];
    }
    o[QStringLiteral("alarms")] = alarms;
    o[QStringLiteral("alarmCount")] = total;

    QJsonValue hottest;
    float best = -INFINITY;
    QJsonArray notInExchange;
    int known = 0;
    for (int n = 1; n <= kInputs; ++n) {
        const TInputSlot& slot = s.Inputs[n - 1];
        if (!slot.Known)
            continue;
        ++known;
        const TInputData& d = slot.Data;
        // A disabled input is not expected to answer.
        if (d.State != kInExchange) {
            if (d.State != kDisabled && d.Enabled != 0)
                notInExchange.append(n);
            continue;
        }
        for (int i = 0; i < kSensors; ++i) {
            if (d.SensorState[i] != kTemperature || std::isnan(d.Temperature[i]) || d.Temperature[i] <= best)
                continue;
            best = d.Temperature[i];
            hottest = QJsonObject{{QStringLiteral("temperature"), double(best)},
                                  {QStringLiteral("text"), TemperatureText(d, i + 1)},
                                  {QStringLiteral("input"), n},
                                  {QStringLiteral("sensor"), i + 1}};
        }
    }
    o[QStringLiteral("hottest")] = hottest;
    o[QStringLiteral("inputsKnown")] = known;
    o[QStringLiteral("notInExchange")] = notInExchange;
    const qint64 last = fleet.LastReading(s);
    o[QStringLiteral("lastReading")] = IsoOrNull(last);
    o[QStringLiteral("lastReadingText")] = last ? LocalText(last) : QString();
    return o;
}

QJsonArray TilesJson(const TFleet& fleet, qint64 now)
{
    QVector<const TStation*> stations;
    for (const std::shared_ptr<TStation>& s : fleet.Stations())
        stations.append(s.get());
    // Stable: the map gives them by name.
    std::stable_sort(stations.begin(), stations.end(), [&](const TStation* a, const TStation* b) {
        return (AlarmCount(fleet, a->Name) > 0) > (AlarmCount(fleet, b->Name) > 0);
    });
    QJsonArray tiles;
    for (const TStation* s : stations)
        tiles.append(TileJson(fleet, *s, now));
    return tiles;
}

QJsonObject AlarmJson(const TAlarm& a)
{
    return {{QStringLiteral("key"), a.Key},
            {QStringLiteral("station"), a.Station},
            {QStringLiteral("kind"), a.Kind},
            {QStringLiteral("kindText"), KindText(a.Kind)},
            {QStringLiteral("input"), a.Input},
            {QStringLiteral("sensor"), a.Sensor},
            {QStringLiteral("text"), a.Text},
            {QStringLiteral("start"), IsoOrNull(a.Start)},
            {QStringLiteral("startText"), a.Start ? LocalText(a.Start) : QString()},
            {QStringLiteral("end"), IsoOrNull(a.End)},
            {QStringLiteral("endText"), a.End ? LocalText(a.End) : QString()},
            {QStringLiteral("active"), a.Active()},
            {QStringLiteral("severity"), a.Severity},
            {QStringLiteral("ack"), a.AckName.isEmpty() ? QJsonValue()
                                                        : QJsonValue(QJsonObject{{QStringLiteral("name"), a.AckName},
                                                                                 {QStringLiteral("time"), IsoText(a.AckTime)},
                                                                                 {QStringLiteral("timeText"), LocalText(a.AckTime)}})},
            // The page keeps the list in this order, newest first.
            {QStringLiteral("order"), double(a.Start ? a.Start : a.End)}};
}

QJsonArray AlarmsJson(const TAlarmBook& book)
{
    QVector<const TAlarm*> alarms;
    for (const TAlarm& a : book.All())
        alarms.append(&a);
    std::sort(alarms.begin(), alarms.end(), [](const TAlarm* a, const TAlarm* b) {
        const qint64 ta = a->Start ? a->Start : a->End, tb = b->Start ? b->Start : b->End;
        return ta != tb ? ta > tb : a->Key < b->Key;
    });
    QJsonArray list;
    for (const TAlarm* a : alarms)
        list.append(AlarmJson(*a));
    return list;
}

QByteArray AlertJson(const TAlarm& a, bool began)
{
    QJsonObject o{{QStringLiteral("event"), began ? QStringLiteral("begin") : QStringLiteral("end")},
                  {QStringLiteral("station"), a.Station},
                  {QStringLiteral("kind"), a.Kind},
                  {QStringLiteral("input"), a.Input},
                  {QStringLiteral("sensor"), a.Sensor},
                  {QStringLiteral("text"), a.Text},
                  {QStringLiteral("start"), IsoOrNull(a.Start)},
                  {QStringLiteral("end"), IsoOrNull(began ? 0 : a.End)},
                  {QStringLiteral("severity"), a.Severity},
                  {QStringLiteral("state"), a.Code < 0 ? QJsonValue() : QJsonValue(a.Code)},
                  {QStringLiteral("rate"), NumberOrNull(a.Rate)},
                  {QStringLiteral("threshold"), NumberOrNull(a.Threshold)}};
    if (!a.Id.isEmpty())
        o[QStringLiteral("id")] = a.Id;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonValue RowJson(const TFleet& fleet, const TStation& s, int n)
{
    const TInputSlot& slot = s.Inputs[n - 1];
    if (!slot.Known)
        return QJsonValue();
    return CellsJson(GridRow(n, slot.Data, slot.Shown, s.RowsStale, fleet.Alarms().RisingMask(s.Name, n)));
}

QJsonArray ControllerJson(const TStation& s)
{
    static const QHash<QString, QString> labels = {
        {QStringLiteral("manufacturer"), QStringLiteral("Производитель")},
        {QStringLiteral("plantNumber"), QStringLiteral("Заводской номер")},
        {QStringLiteral("softVersion"), QStringLiteral("Программная версия")},
        {QStringLiteral("hardVersion"), QStringLiteral("Аппаратная версия")},
        {QStringLiteral("site"), QStringLiteral("Сайт техподдержки")},
        {QStringLiteral("device"), QStringLiteral("Устройство")},
        {QStringLiteral("deviceName"), QStringLiteral("Название устройства")},
        {QStringLiteral("deviceType"), QStringLiteral("Тип устройства")},
        {QStringLiteral("crc"), QStringLiteral("Контрольная сумма")}};
    QJsonArray lines;
    if (!s.HasController)
        return lines;
    const TControllerMessage& c = s.Controller;
    lines.append(QJsonArray{QStringLiteral("Состояние обмена"), c.StateText});
    lines.append(QJsonArray{QStringLiteral("Системный адрес"), QString::number(c.Address)});
    lines.append(QJsonArray{QStringLiteral("Код ошибки"), QString::number(c.Error)});
    for (const TSignatureField& f : c.Signature)
        lines.append(QJsonArray{labels.value(f.Key, f.Key), f.Value});
    return lines;
}

QJsonArray StationAlarmsJson(const TFleet& fleet, const QString& station)
{
    QVector<const TAlarm*> alarms = fleet.Alarms().ActiveOf(station);
    std::sort(alarms.begin(), alarms.end(), [](const TAlarm* a, const TAlarm* b) { return a->Start > b->Start; });
    QJsonArray list;
    for (const TAlarm* a : alarms)
        list.append(AlarmJson(*a));
    return list;
}

QJsonObject StationJson(const TFleet& fleet, const TStation& s, qint64 now)
{
    QJsonArray rows;
    for (int n = 1; n <= kInputs; ++n)
        rows.append(RowJson(fleet, s, n));
    return {{QStringLiteral("station"), s.Name},
            {QStringLiteral("tile"), TileJson(fleet, s, now)},
            {QStringLiteral("controller"), ControllerJson(s)},
            {QStringLiteral("headers"), QJsonArray::fromStringList(GridHeaders())},
            {QStringLiteral("rows"), rows},
            {QStringLiteral("alarms"), StationAlarmsJson(fleet, s.Name)}};
}

QJsonArray ReadingsJson(const TStation& s, int n)
{
    QJsonArray list;
    if (n < 1 || n > kInputs)
        return list;
    const QVector<TReadingRow>& readings = s.Inputs[n - 1].Readings;
    for (auto it = readings.crbegin(); it != readings.crend(); ++it) {
        TReadingMessage m;
        m.Input = n;
        m.Time = it->Time;
        m.State = it->State;
        for (int i = 0; i < kSensors; ++i) {
            m.SensorState[i] = it->SensorState[i];
            m.Temperature[i] = it->Temperature[i];
        }
        list.append(QJsonObject{{QStringLiteral("time"), IsoText(it->Time)},
                                {QStringLiteral("timeText"), LocalText(it->Time)},
                                {QStringLiteral("cells"), CellsJson(ReadingCells(m))}});
    }
    return list;
}
