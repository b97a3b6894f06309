#include "publish/AlarmTracker.h"

#include "device/Vantor.h"
#include "publish/Payloads.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

int OutInteger(const TIOData& value)
{
    qint32 n = 0;
    value.GetOutValue().TryToInteger(n);
    return n;
}

// Rises are keyed after every state: input * 8 + sensor stays below it.
constexpr int kRiseKeys = 2048;
constexpr int kControllerKey = -2;
constexpr int kErrorKey = -1;
const QString kRise = QStringLiteral("rise");
const QString kController = QStringLiteral("controller");
const QString kError = QStringLiteral("error");
const QString kInput = QStringLiteral("input");
const QString kSensor = QStringLiteral("sensor");

int RiseKey(int input, int sensor) { return kRiseKeys + input * 8 + sensor; }

// Losing the controller or a rising sensor (grain heating) wants someone at once; the rest is a
// probe or a sensor to be seen to.
QString Severity(const QString& kind)
{
    return kind == kController || kind == kRise ? QStringLiteral("critical") : QStringLiteral("warning");
}

// The tracker's key of an alarm: the controller's states below 0, an input's and its sensors'
// input * 8 + sensor, rises after them.
std::optional<int> KeyOf(const TAlarmEvent& e)
{
    const bool input = e.Input >= 1 && e.Input <= vantor::kInputCount;
    const bool sensor = input && e.Sensor >= 1 && e.Sensor <= kSensorCount;
    if (e.Kind == kController && e.Input == 0)
        return kControllerKey;
    if (e.Kind == kError && e.Input == 0)
        return kErrorKey;
    if (e.Kind == kInput && input && e.Sensor == 0)
        return e.Input * 8;
    if (e.Kind == kSensor && sensor)
        return e.Input * 8 + e.Sensor;
    if (e.Kind == kRise && sensor)
        return RiseKey(e.Input, e.Sensor);
    return std::nullopt;
}

qint64 ParseTime(const QJsonValue& value)
{
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

// Three decimals: a slope is no more exact than that.
double Rounded(double value)
{
    return std::round(value * 1000) / 1000;
}

QJsonObject EventObject(const TAlarmEvent& e)
{
    QJsonObject o{{QStringLiteral("time"), IsoTime(e.Time)}, {QStringLiteral("input"), e.Input},
                  {QStringLiteral("sensor"), e.Sensor},      {QStringLiteral("kind"), e.Kind},
                  {QStringLiteral("active"), e.Active},      {QStringLiteral("text"), e.Text.trimmed()},
                  {QStringLiteral("state"), e.State},        {QStringLiteral("severity"), Severity(e.Kind)}};
    if (!e.Id.isEmpty()) {
        o[QStringLiteral("id")] = e.Id;
        o[QStringLiteral("start")] = IsoTime(e.Start);
    }
    if (e.Kind == kRise) {
        o[QStringLiteral("rate")] = e.Rate ? QJsonValue(Rounded(*e.Rate)) : QJsonValue();
        o[QStringLiteral("threshold")] = Rounded(e.Threshold);
    }
    return o;
}

TAlarmEvent Event(qint64 time, int input, int sensor, const QString& kind, const QString& text)
{
    TAlarmEvent e;
    e.Time = time;
    e.Input = input;
    e.Sensor = sensor;
    e.Kind = kind;
    e.Text = text;
    return e;
}

}  // namespace

QByteArray TAlarmEvent::ToJson() const { return Json(EventObject(*this)); }

std::optional<TAlarmEvent> TAlarmEvent::FromJson(const QByteArray& json)
{
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    TAlarmEvent e = Event(ParseTime(o.value(QStringLiteral("time"))), o.value(kInput).toInt(-1),
                          o.value(kSensor).toInt(-1), o.value(QStringLiteral("kind")).toString(),
                          o.value(QStringLiteral("text")).toString());
    e.Active = o.value(QStringLiteral("active")).toBool();
    e.State = o.value(QStringLiteral("state")).toInt();
    e.Id = o.value(QStringLiteral("id")).toString();
    e.Start = ParseTime(o.value(QStringLiteral("start")));
    if (const QJsonValue rate = o.value(QStringLiteral("rate")); rate.isDouble())
        e.Rate = rate.toDouble();
    e.Threshold = o.value(QStringLiteral("threshold")).toDouble();
    if (!KeyOf(e) || e.Id.isEmpty() || e.Start == 0)
        return std::nullopt;
    return e;
}

void TAlarmTracker::Restore(const QVector<QByteArray>& events)
{
    for (const QByteArray& json : events)
        if (const std::optional<TAlarmEvent> e = TAlarmEvent::FromJson(json))
            Active_.insert(*KeyOf(*e), *e);
}

std::optional<TAlarmEvent> TAlarmTracker::TakeActive(int key)
{
    auto found = Active_.find(key);
    if (found == Active_.end())
        return std::nullopt;
    TAlarmEvent was = *found;
    Active_.erase(found);
    return was;
}

void TAlarmTracker::Identify(TAlarmEvent& event, const TAlarmEvent* was) const
{
    if (was) {
        event.Id = was->Id;
        event.Start = was->Start;
    } else if (event.Active) {
        event.Start = event.Time;
        event.Id = QStringList{Station_, event.Kind, QString::number(event.Input), QString::number(event.Sensor),
                               IsoTime(event.Start)}
                       .join(u'/');
    }
}

template <typename MakeEvent>
void TAlarmTracker::Observe(int key, int code, bool alarm, MakeEvent make, QVector<TAlarmEvent>& events)
{
    auto seen = Seen_.find(key);
    const bool first = seen == Seen_.end();
    if (!first && *seen == code)
        return;
    Seen_.insert(key, code);
    TAlarmEvent event = make();
    event.Active = alarm;
    event.State = code;
    // An alarm first read now was kept from before a restart.
    const std::optional<TAlarmEvent> was = TakeActive(key);
    Identify(event, was ? &*was : nullptr);
    if (alarm)
        Active_.insert(key, event);
    if (alarm || was || Changed_ == 0)
        Changed(event.Time);
    const bool goesOn = first && was && alarm && was->State == code;
    if ((first && !alarm && !was) || goesOn || event.Text.isEmpty())
        return;
    events.append(event);
}

void TAlarmTracker::Changed(qint64 time)
{
    Changed_ = time;
    Payload_.clear();
    Unread_ = true;
}

std::optional<TAlarmEvent> TAlarmTracker::Rise(int input, int sensor, bool active, std::optional<double> ratePerHour,
                                               double thresholdPerHour, const QString& text, int state, qint64 time)
{
    TAlarmEvent event = Event(time, input, sensor, kRise, text);
    event.Active = active;
    event.Rate = ratePerHour;
    event.Threshold = thresholdPerHour;
    event.State = state;
    const int key = RiseKey(input, sensor);
    const std::optional<TAlarmEvent> was = TakeActive(key);
    Identify(event, was ? &*was : nullptr);
    if (active)
        Active_.insert(key, event);
    Changed(time);
    if (active == was.has_value())
        return std::nullopt;
    return event;
}

QVector<int> TAlarmTracker::RisesBeside(int input, unsigned risingMask) const
{
    QVector<int> sensors;
    for (int s = 1; s <= kSensorCount; ++s)
        if (!(risingMask >> (s - 1) & 1u) && Active_.contains(RiseKey(input, s)))
            sensors.append(s);
    return sensors;
}

QVector<TAlarmEvent> TAlarmTracker::Update(const TVantor& vantor, int first, int last, qint64 time)
{
    QVector<TAlarmEvent> events;
    const int module = OutInteger(vantor.ModuleError);
    if (module != tsUnknown)
        Observe(kControllerKey, module, module == tsTrue,
                [&] { return Event(time, 0, 0, kController, Texts_.Module(vantor)); }, events);
    // The error code is the controller's answer: before the first one it is no code, and an alarm
    // kept from before a restart would seem to end.
    const int error = OutInteger(vantor.Error);
    if (module == tsFalse)
        Observe(kErrorKey, error, error != 0, [&] { return Event(time, 0, 0, kError, Texts_.Error(vantor)); },
                events);
    for (int n = qMax(1, first); n <= last && n <= vantor::kInputCount; ++n) {
        const TVantorInput& input = vantor.Input(n);
        const int state = OutInteger(input.OprosState);
        Observe(n * 8, state, input.OprosState.StateIsAlarm(),
                [&] { return Event(time, n, 0, kInput, Texts_.Input(input)); }, events);
        // Without a link the sensors' states are old news.
        if (state != 0)
            continue;
        for (int s = 1; s <= kSensorCount; ++s) {
            const TIOStates& sensor = input.TemperState[s - 1];
            const bool alarm = sensor.StateIsAlarm();
            Observe(n * 8 + s, OutInteger(sensor), alarm, [&] {
                return Event(time, n, s, kSensor,
                             alarm ? Texts_.Sensor(input, s) : Texts_.SensorBack(input, s));
            }, events);
        }
    }
    return events;
}

bool TAlarmTracker::TakeChanged()
{
    const bool changed = Unread_;
    Unread_ = false;
    return changed;
}

QByteArray TAlarmTracker::ActivePayload()
{
    if (!Payload_.isEmpty())
        return Payload_;
    QJsonArray alarms;
    for (const TAlarmEvent& e : Active_) {
        QJsonObject o = EventObject(e);
        o.remove(QStringLiteral("active"));
        o.remove(QStringLiteral("time"));
        o[QStringLiteral("since")] = IsoTime(e.Start);
        alarms.append(o);
    }
    Payload_ = Json({{QStringLiteral("schema"), kPayloadSchema},
                     {QStringLiteral("time"), IsoTime(Changed_)},
                     {QStringLiteral("count"), alarms.size()},
                     {QStringLiteral("alarms"), alarms}});
    return Payload_;
}
