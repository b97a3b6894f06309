#include "publish/Payloads.h"

#include "device/DisplayTables.h"
#include "device/Vantor.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

int OutInteger(const TIOData& value)
{
    qint32 n = 0;
    value.GetOutValue().TryToInteger(n);
    return n;
}

QJsonObject CodeAndText(int code, const QString& text)
{
    return {{QStringLiteral("code"), code}, {QStringLiteral("text"), text}};
}

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

QByteArray StatusPayload(const QString& station, bool online, qint64 time)
{
    QJsonObject o = Header(time);
    o[QStringLiteral("station")] = station;
    o[QStringLiteral("status")] = online ? QStringLiteral("online") : QStringLiteral("offline");
    return Json(o);
}

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
    }
    s.Setpoint = input.TemperBound.Value();
    s.Period = input.Interval;
    const int enabled = OutInteger(input.ChannelEnabled);
    s.InUse = {enabled, YesNoThreeStateTexts().value(enabled)};
    s.PlantNumber = input.PlantNumber;
    return s;
}

QByteArray ControllerPayload(const TControllerSnapshot& c)
{
    QJsonObject o = Header(c.Time);
    o[QStringLiteral("address")] = c.Address;
    o[QStringLiteral("exchange")] = CodeAndText(c.Exchange.Code, c.Exchange.Text);
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
    o[QStringLiteral("exchange")] = CodeAndText(s.Exchange.Code, s.Exchange.Text);
    o[QStringLiteral("battery")] = s.Battery;
    QJsonArray sensors;
    for (int i = 0; i < kSensorCount; ++i) {
        QJsonObject sensor = CodeAndText(s.Sensors[i].Code, s.Sensors[i].Text);
        sensor[QStringLiteral("sensor")] = i + 1;
        // A temperature only where the sensor gives one; a status code is no temperature.
        sensor[QStringLiteral("temperature")] = s.Sensors[i].Code == 1 ? QJsonValue(s.Temperatures[i]) : QJsonValue();
        sensors.append(sensor);
    }
    o[QStringLiteral("sensors")] = sensors;
    o[QStringLiteral("setpoint")] = s.Setpoint;
    o[QStringLiteral("period")] = s.Period;
    o[QStringLiteral("inUse")] = CodeAndText(s.InUse.Code, s.InUse.Text);
    o[QStringLiteral("plantNumber")] = s.PlantNumber;
    return Json(o);
}

QByteArray ReadingPayload(const QString& station, qint64 seq, const THistoryReading& reading)
{
    QJsonObject o = Header(reading.Time);
    o[QStringLiteral("station")] = station;
    o[QStringLiteral("seq")] = seq;
    o[QStringLiteral("input")] = reading.Input;
    o[QStringLiteral("exchange")] = reading.OprosState;
    o[QStringLiteral("battery")] = reading.Battery;
    o[QStringLiteral("setpoint")] = reading.Bound;
    QJsonArray temperatures, states;
    for (int i = 0; i < kSensorCount; ++i) {
        temperatures.append(reading.TemperState[i] == 1 ? QJsonValue(reading.Temper[i]) : QJsonValue());
        states.append(reading.TemperState[i]);
    }
    o[QStringLiteral("temperatures")] = temperatures;
    o[QStringLiteral("sensorStates")] = states;
    return Json(o);
}

QByteArray AlarmEventPayload(const QString& station, qint64 seq, const QByteArray& event)
{
    QJsonObject o = QJsonDocument::fromJson(event).object();
    o[QStringLiteral("schema")] = kPayloadSchema;
    o[QStringLiteral("station")] = station;
    o[QStringLiteral("seq")] = seq;
    return Json(o);
}
