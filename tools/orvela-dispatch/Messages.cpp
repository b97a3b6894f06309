#include "Messages.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The payload as an object of the known schema.
TSkip Open(const QByteArray& payload, QJsonObject& o)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return TSkip::Malformed;
    o = document.object();
    const QJsonValue schema = o.value(QStringLiteral("schema"));
    if (!schema.isUndefined() && !schema.isDouble())
        return TSkip::Malformed;
    return schema.toDouble() == kKnownSchema ? TSkip::None : TSkip::UnknownSchema;
}

// Whole numbers within limits; a payload with anything else in their place is malformed.
bool Integer(const QJsonValue& v, int& out, int min, int max)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < min || d > max)
        return false;
    out = int(d);
    return true;
}

bool Text(const QJsonValue& v, QString& out)
{
    if (!v.isString())
        return false;
    out = v.toString();
    return true;
}

// A time that must be there.
bool Time(const QJsonValue& v, qint64& out)
{
    out = 0;
    return v.isString() && ParseIsoTime(v.toString(), out);
}

// A time that may be null.
bool TimeOrNull(const QJsonValue& v, qint64& out)
{
    out = 0;
    return v.isNull() || v.isUndefined() || Time(v, out);
}

bool TemperatureOrNull(const QJsonValue& v, float& out)
{
    if (v.isNull() || v.isUndefined()) {
        out = NAN;
        return true;
    }
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return false;
    out = float(v.toDouble());
    return true;
}

// true, false or null (-1); missing from a station that does not send it.
bool ThreeState(const QJsonValue& v, int& out)
{
    if (v.isNull() || v.isUndefined()) {
        out = -1;
        return true;
    }
    if (!v.isBool())
        return false;
    out = v.toBool() ? 1 : 0;
    return true;
}

const QString kTime = QStringLiteral("time");
const QString kState = QStringLiteral("state");
const QString kInput = QStringLiteral("input");
const QString kSensor = QStringLiteral("sensor");

bool ReadAlarm(const QJsonObject& o, const QString& timeKey, TAlarmMessage& a)
{
    constexpr int kMaxNumber = 1 << 20;
    if (!Text(o.value(QStringLiteral("kind")), a.Kind) || a.Kind.isEmpty() || !Text(o.value(QStringLiteral("text")), a.Text)
        || !Integer(o.value(kInput), a.Input, 0, kMaxNumber) || !Integer(o.value(kSensor), a.Sensor, 0, kMaxNumber)
        || !Time(o.value(timeKey), a.Time) || !TimeOrNull(o.value(QStringLiteral("start")), a.Start))
        return false;
    const QJsonValue id = o.value(QStringLiteral("id"));
    if (!id.isUndefined() && !id.isNull() && !Text(id, a.Id))
        return false;
    // A severity may come as a word or a number: either is shown as given.
    const QJsonValue severity = o.value(QStringLiteral("severity"));
    a.Severity = severity.isDouble() ? QString::number(severity.toDouble()) : severity.toString();
    if (const QJsonValue code = o.value(kState); !code.isUndefined() && !code.isNull() && !Integer(code, a.Code, -kMaxNumber, kMaxNumber))
        return false;
    a.Rate = o.value(QStringLiteral("rate")).toDouble(NAN);
    a.Threshold = o.value(QStringLiteral("threshold")).toDouble(NAN);
    return true;
}

}  // namespace

bool ParseTopic(const QString& root, const QString& topic, TTopic& out)
{
    if (!topic.startsWith(root) || topic.size() <= root.size() || topic[root.size()] != u'/')
        return false;
    const QStringList levels = topic.mid(root.size() + 1).split(u'/');
    if (levels.size() < 2 || levels[0].isEmpty())
        return false;
    out = TTopic{levels[0], TTopicKind::Other, 0};
    const QString& kind = levels[1];
    if (levels.size() == 2) {
        if (kind == QStringLiteral("status"))
            out.Kind = TTopicKind::Status;
        else if (kind == QStringLiteral("controller"))
            out.Kind = TTopicKind::Controller;
        else if (kind == QStringLiteral("readings"))
            out.Kind = TTopicKind::Readings;
    } else if (levels.size() == 3) {
        if (kind == QStringLiteral("input")) {
            bool ok = false;
            const int n = levels[2].toInt(&ok);
            if (ok && n >= 1 && n <= kInputs && levels[2] == QString::number(n)) {
                out.Kind = TTopicKind::Input;
                out.Input = n;
            }
        } else if (kind == QStringLiteral("alarms")) {
            if (levels[2] == QStringLiteral("events"))
                out.Kind = TTopicKind::AlarmEvents;
            else if (levels[2] == QStringLiteral("active"))
                out.Kind = TTopicKind::AlarmsActive;
        }
    }
    return true;
}

bool ParseIsoTime(const QString& text, qint64& ms)
{
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return false;
    ms = time.toMSecsSinceEpoch();
    return true;
}

TSkip ParseStatus(const QByteArray& payload, TStatusMessage& out)
{
    QJsonObject o;
    if (const TSkip skip = Open(payload, o); skip != TSkip::None)
        return skip;
    out = {};
    if (!Text(o.value(QStringLiteral("status")), out.Status) || !TimeOrNull(o.value(kTime), out.Time)
        || !TimeOrNull(o.value(QStringLiteral("lastReading")), out.LastReading))
        return TSkip::Malformed;
    const QJsonValue period = o.value(QStringLiteral("period"));
    if (!period.isUndefined() && !Integer(period, out.Period, 1, 24 * 3600))
        return TSkip::Malformed;
    out.Reason = o.value(QStringLiteral("reason")).toString();
    return TSkip::None;
}

TSkip ParseController(const QByteArray& payload, TControllerMessage& out)
{
    QJsonObject o;
    if (const TSkip skip = Open(payload, o); skip != TSkip::None)
        return skip;
    out = {};
    if (!Time(o.value(kTime), out.Time) || !Integer(o.value(kState), out.State, -1000, 1000)
        || !Text(o.value(QStringLiteral("stateText")), out.StateText))
        return TSkip::Malformed;
    Integer(o.value(QStringLiteral("address")), out.Address, 0, 255);
    Integer(o.value(QStringLiteral("error")), out.Error, -65536, 65535);
    const QJsonValue signature = o.value(QStringLiteral("signature"));
    if (signature.isObject()) {
        static const QStringList keys = {
            QStringLiteral("manufacturer"), QStringLiteral("plantNumber"), QStringLiteral("softVersion"),
            QStringLiteral("hardVersion"),  QStringLiteral("site"),        QStringLiteral("device"),
            QStringLiteral("deviceName"),   QStringLiteral("deviceType"),  QStringLiteral("crc")};
        const QJsonObject s = signature.toObject();
        for (const QString& key : keys) {
            const QJsonValue v = s.value(key);
            out.Signature.append({key, v.isDouble() ? QString::number(v.toDouble()) : v.toString()});
        }
    } else if (!signature.isUndefined() && !signature.isNull()) {
        return TSkip::Malformed;
    }
    return TSkip::None;
}

TSkip ParseInput(const QByteArray& payload, int input, TInputData& out)
{
    QJsonObject o;
    if (const TSkip skip = Open(payload, o); skip != TSkip::None)
        return skip;
    out = {};
    int named = 0;
    if (!Integer(o.value(kInput), named, 1, kInputs) || named != input || !Time(o.value(kTime), out.Time)
        || !Integer(o.value(kState), out.State, 0, 255) || !Integer(o.value(QStringLiteral("battery")), out.Battery, 0, 255)
        || !Integer(o.value(QStringLiteral("plantNumber")), out.PlantNumber, 0, 65535))
        return TSkip::Malformed;
    const QJsonArray sensors = o.value(QStringLiteral("sensors")).toArray();
    if (sensors.size() != kSensors)
        return TSkip::Malformed;
    for (int i = 0; i < kSensors; ++i) {
        const QJsonObject s = sensors[i].toObject();
        if (!Integer(s.value(kState), out.SensorState[i], 0, 255) || !TemperatureOrNull(s.value(QStringLiteral("temperature")), out.Temperature[i])
            || !ThreeState(s.value(QStringLiteral("boundActive")), out.BoundActive[i]))
            return TSkip::Malformed;
    }
    // The settings are known together, or not at all.
    const QJsonValue bound = o.value(QStringLiteral("bound"));
    out.SettingsKnown = bound.isDouble();
    if (out.SettingsKnown) {
        out.Bound = bound.toDouble();
        if (!std::isfinite(out.Bound) || !Integer(o.value(QStringLiteral("periodMinutes")), out.PeriodMinutes, 0, 65535)
            || !ThreeState(o.value(QStringLiteral("enabled")), out.Enabled))
            return TSkip::Malformed;
    } else if (!bound.isNull() && !bound.isUndefined()) {
        return TSkip::Malformed;
    }
    Integer(o.value(QStringLiteral("softVersion")), out.SoftVersion, 0, 255);
    out.Crc = o.value(QStringLiteral("crc")).toString();
    return TSkip::None;
}

TSkip ParseReading(const QByteArray& payload, TReadingMessage& out)
{
    QJsonObject o;
    if (const TSkip skip = Open(payload, o); skip != TSkip::None)
        return skip;
    out = {};
    const QJsonValue seq = o.value(QStringLiteral("seq"));
    if (!Text(o.value(QStringLiteral("epoch")), out.Epoch) || !seq.isDouble() || !Integer(o.value(kInput), out.Input, 1, kInputs)
        || !Time(o.value(kTime), out.Time) || !Integer(o.value(kState), out.State, 0, 255))
        return TSkip::Malformed;
    out.Seq = qint64(seq.toDouble());
    const QJsonArray temperatures = o.value(QStringLiteral("temperatures")).toArray();
    const QJsonArray states = o.value(QStringLiteral("sensorStates")).toArray();
    if (temperatures.size() != kSensors || states.size() != kSensors)
        return TSkip::Malformed;
    for (int i = 0; i < kSensors; ++i) {
        if (!TemperatureOrNull(temperatures[i], out.Temperature[i]))
            return TSkip::Malformed;
        if (!states[i].isNull() && !Integer(states[i], out.SensorState[i], 0, 255))
            return TSkip::Malformed;
    }
    return TSkip::None;
}

TSkip ParseAlarmEvent(const QByteArray& payload, TAlarmMessage& out)
{
    QJsonObject o;
    if (const TSkip skip = Open(payload, o); skip != TSkip::None)
        return skip;
    out = {};
    const QJsonValue active = o.value(QStringLiteral("active"));
    if (!active.isBool() || !ReadAlarm(o, kTime, out))
        return TSkip::Malformed;
    out.Active = active.toBool();
    out.Epoch = o.value(QStringLiteral("epoch")).toString();
    out.Seq = qint64(o.value(QStringLiteral("seq")).toDouble());
    return TSkip::None;
}

TSkip ParseActiveList(const QByteArray& payload, TActiveList& out)
{
    QJsonObject o;
    if (const TSkip skip = Open(payload, o); skip != TSkip::None)
        return skip;
    out = {};
    const QJsonValue alarms = o.value(QStringLiteral("alarms"));
    if (!Time(o.value(kTime), out.Time) || !alarms.isArray())
        return TSkip::Malformed;
    for (const QJsonValue& v : alarms.toArray()) {
        TAlarmMessage a;
        if (!v.isObject() || !ReadAlarm(v.toObject(), QStringLiteral("since"), a))
            return TSkip::Malformed;
        out.Alarms.append(a);
    }
    return TSkip::None;
}
