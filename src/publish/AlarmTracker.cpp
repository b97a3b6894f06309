#include "publish/AlarmTracker.h"

#include "device/Vantor.h"
#include "publish/Payloads.h"

#include <QJsonArray>
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
const QString kRise = QStringLiteral("rise");

// Three decimals: a slope is no more exact than that.
double Rounded(double value)
{
    return std::round(value * 1000) / 1000;
}

QJsonObject EventObject(const TAlarmEvent& e)
{
    QJsonObject o{{QStringLiteral("time"), IsoTime(e.Time)}, {QStringLiteral("input"), e.Input},
                  {QStringLiteral("sensor"), e.Sensor},      {QStringLiteral("kind"), e.Kind},
                  {QStringLiteral("active"), e.Active},      {QStringLiteral("text"), e.Text.trimmed()}};
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
    const bool wasActive = Active_.remove(key) > 0;
    if (alarm)
        Active_.insert(key, event);
    if (alarm || wasActive || Changed_ == 0)
        Changed(event.Time);
    if ((first && !alarm) || event.Text.isEmpty())
        return;
    events.append(event);
}

void TAlarmTracker::Changed(qint64 time)
{
    Changed_ = time;
    Payload_.clear();
    Unread_ = true;
}

TAlarmEvent TAlarmTracker::Rise(int input, int sensor, bool active, std::optional<double> ratePerHour,
                                double thresholdPerHour, const QString& text, qint64 time)
{
    TAlarmEvent event = Event(time, input, sensor, kRise, text);
    event.Active = active;
    event.Rate = ratePerHour;
    event.Threshold = thresholdPerHour;
    const int key = kRiseKeys + input * 8 + sensor;
    Active_.remove(key);
    if (active)
        Active_.insert(key, event);
    Changed(time);
    return event;
}

QVector<TAlarmEvent> TAlarmTracker::Update(const TVantor& vantor, int first, int last, qint64 time)
{
    QVector<TAlarmEvent> events;
    const int module = OutInteger(vantor.ModuleError);
    if (module != tsUnknown)
        Observe(-2, module, module == tsTrue,
                [&] { return Event(time, 0, 0, QStringLiteral("controller"), Texts_.Module(vantor)); }, events);
    const int error = OutInteger(vantor.Error);
    Observe(-1, error, error != 0, [&] { return Event(time, 0, 0, QStringLiteral("error"), Texts_.Error(vantor)); },
            events);
    for (int n = qMax(1, first); n <= last && n <= vantor::kInputCount; ++n) {
        const TVantorInput& input = vantor.Input(n);
        const int state = OutInteger(input.OprosState);
        Observe(n * 8, state, input.OprosState.StateIsAlarm(),
                [&] { return Event(time, n, 0, QStringLiteral("input"), Texts_.Input(input)); }, events);
        // Without a link the sensors' states are old news.
        if (state != 0)
            continue;
        for (int s = 1; s <= kSensorCount; ++s) {
            const TIOStates& sensor = input.TemperState[s - 1];
            const bool alarm = sensor.StateIsAlarm();
            Observe(n * 8 + s, OutInteger(sensor), alarm, [&] {
                return Event(time, n, s, QStringLiteral("sensor"),
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
        o[QStringLiteral("since")] = o.take(QStringLiteral("time"));
        alarms.append(o);
    }
    Payload_ = Json({{QStringLiteral("schema"), kPayloadSchema},
                     {QStringLiteral("time"), IsoTime(Changed_)},
                     {QStringLiteral("count"), alarms.size()},
                     {QStringLiteral("alarms"), alarms}});
    return Payload_;
}
