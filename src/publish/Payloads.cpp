#include "publish/Payloads.h"

#include "device/Vantor.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

int OutInteger(const TIOData& value)
{
    qint32 n = 0;
    value.GetOutValue().TryToInteger(n);
    return n;
}

// As orvela-cli --json names them.
void SetState(QJsonObject& o, const TCodeText& state)
{
    o[QStringLiteral("state")] = state.Code;
    o[QStringLiteral("stateText")] = state.Text;
}

// The input's exchange state "Норма": only then are the sensors' values measurements.
constexpr int kInExchange = 0;
constexpr int kTemperature = 1;  // the sensor's state when it gives a temperature
const QString kUnit = QStringLiteral("°C");

QJsonValue ThreeState(int value) { return value == tsUnknown ? QJsonValue() : QJsonValue(value == tsTrue); }

QJsonObject Header(qint64 time)
{
    return {{QStringLiteral("schema"), kPayloadSchema}, {QStringLiteral("time"), IsoTime(time)}};
}

}  // namespace

QString IsoTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs);
}

QByteArray Json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

TControllerSnapshot SnapshotOf(const TVantor& vantor, qint64 time)
{
    TControllerSnapshot c;
    c.Time = time;
    c.Address = vantor.SystemAddress();
    c.Exchange = {OutInteger(vantor.ModuleError), vantor.ModuleError.StateCaption()};
    c.Error = OutInteger(vantor.Error);
    // Not before the signature has been read: zeros would pass for values.
    c.SignatureRead = !vantor.Manufacturer.isEmpty() || vantor.PlantNumber != 0;
    c.Manufacturer = vantor.Manufacturer;
    c.Site = vantor.Site;
    c.Device = vantor.Device;
    c.DeviceName = vantor.DeviceName;
    c.Crc = vantor.CRC;
    c.PlantNumber = vantor.PlantNumber;
    c.SoftVersion = vantor.VerSoft;
    c.HardVersion = vantor.VerHard;
    c.DeviceType = vantor.DeviceType;
    return c;
}

TInputSnapshot SnapshotOf(const TVantorInput& input, int number, qint64 time)
{
    TInputSnapshot s;
    s.Time = time;
    s.Input = number;
    s.Exchange = {OutInteger(input.OprosState), input.OprosState.StateCaption()};
    s.Battery = input.Battery;
    for (int i = 0; i < kSensorCount; ++i) {
        s.Sensors[i] = {OutInteger(input.TemperState[i]), input.TemperState[i].StateCaption()};
        s.Temperatures[i] = input.Temper[i].GetOutValue().ToDouble();
        s.BoundActive[i] = OutInteger(input.Bound[i]);
    }
    s.SoftVersion = input.SoftVersion;
    s.Crc = input.CRC;
    s.SettingsKnown = input.SettingsKnown;
    s.Bound = input.TemperBound.Value();
    s.Period = input.Interval;
    s.Enabled = OutInteger(input.ChannelEnabled);
    s.PlantNumber = input.PlantNumber;
    return s;
}

QByteArray ControllerPayload(const TControllerSnapshot& c)
{
    QJsonObject o = Header(c.Time);
    o[QStringLiteral("address")] = c.Address;
    SetState(o, c.Exchange);
    o[QStringLiteral("error")] = c.Error;
    if (c.SignatureRead) {
        o[QStringLiteral("signature")] = QJsonObject{
            {QStringLiteral("manufacturer"), c.Manufacturer},
            {QStringLiteral("plantNumber"), c.PlantNumber},
            {QStringLiteral("softVersion"), c.SoftVersion},
            {QStringLiteral("hardVersion"), c.HardVersion},
            {QStringLiteral("site"), c.Site},
            {QStringLiteral("device"), c.Device},
            {QStringLiteral("deviceName"), c.DeviceName},
            {QStringLiteral("deviceType"), c.DeviceType},
            {QStringLiteral("crc"), c.Crc},
        };
    }
    return Json(o);
}

QByteArray InputPayload(const TInputSnapshot& s)
{
    QJsonObject o = Header(s.Time);
    o[QStringLiteral("input")] = s.Input;
    SetState(o, s.Exchange);
    o[QStringLiteral("battery")] = s.Battery;
    const bool inExchange = s.Exchange.Code == kInExchange;
    QJsonArray sensors;
    for (int i = 0; i < kSensorCount; ++i) {
        QJsonObject sensor{{QStringLiteral("sensor"), i + 1}};
        SetState(sensor, s.Sensors[i]);
        // A temperature only where the sensor gives one and the probe answers: a status code is
        // no temperature, and an input out of exchange shows old values (or none).
        sensor[QStringLiteral("temperature")] =
            inExchange && s.Sensors[i].Code == kTemperature ? QJsonValue(s.Temperatures[i]) : QJsonValue();
        sensor[QStringLiteral("boundActive")] = ThreeState(s.BoundActive[i]);
        sensors.append(sensor);
    }
    o[QStringLiteral("sensors")] = sensors;
    // Settings never read are unknown, not zero.
    const auto known = [&](QJsonValue value) { return s.SettingsKnown ? value : QJsonValue(); };
    o[QStringLiteral("bound")] = known(s.Bound);
    o[QStringLiteral("periodMinutes")] = known(s.Period);
    o[QStringLiteral("enabled")] = known(ThreeState(s.Enabled));
    o[QStringLiteral("plantNumber")] = s.PlantNumber;
    o[QStringLiteral("softVersion")] = s.SoftVersion;
    o[QStringLiteral("crc")] = s.Crc.isEmpty() ? QJsonValue() : QJsonValue(s.Crc);
    o[QStringLiteral("unit")] = kUnit;
    return Json(o);
}

QByteArray ReadingPayload(const TStreamPlace& place, const THistoryReading& reading)
{
    QJsonObject o = Header(reading.Time);
    o[QStringLiteral("station")] = place.Station;
    o[QStringLiteral("epoch")] = place.Epoch;
    o[QStringLiteral("seq")] = place.Seq;
    o[QStringLiteral("input")] = reading.Input;
    o[QStringLiteral("state")] = reading.OprosState;
    o[QStringLiteral("battery")] = reading.Battery;
    o[QStringLiteral("bound")] = std::isnan(reading.Bound) ? QJsonValue() : QJsonValue(reading.Bound);
    // Out of exchange the sensors' states and values are the last ones the probe gave: no news.
    const bool inExchange = reading.OprosState == kInExchange;
    QJsonArray temperatures, states;
    for (int i = 0; i < kSensorCount; ++i) {
        const bool measured = inExchange && reading.TemperState[i] == kTemperature;
        temperatures.append(measured ? QJsonValue(reading.Temper[i]) : QJsonValue());
        states.append(inExchange ? QJsonValue(reading.TemperState[i]) : QJsonValue());
    }
    o[QStringLiteral("temperatures")] = temperatures;
    o[QStringLiteral("sensorStates")] = states;
    o[QStringLiteral("unit")] = kUnit;
    return Json(o);
}

QByteArray AlarmEventPayload(const TStreamPlace& place, const QByteArray& event)
{
    QJsonObject o = QJsonDocument::fromJson(event).object();
    o[QStringLiteral("schema")] = kPayloadSchema;
    o[QStringLiteral("station")] = place.Station;
    o[QStringLiteral("epoch")] = place.Epoch;
    o[QStringLiteral("seq")] = place.Seq;
    return Json(o);
}
