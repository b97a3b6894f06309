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

QByteArray ControllerPayload(const TVantor& vantor, qint64 time)
{
    QJsonObject o = Header(time);
    o[QStringLiteral("address")] = vantor.SystemAddress();
    o[QStringLiteral("exchange")] = CodeAndText(OutInteger(vantor.ModuleError), vantor.ModuleError.StateCaption());
    o[QStringLiteral("error")] = OutInteger(vantor.Error);
    // Not before the signature has been read: zeros would pass for values.
    if (!vantor.Manufacturer.isEmpty() || vantor.PlantNumber != 0) {
        o[QStringLiteral("signature")] = QJsonObject{
            {QStringLiteral("manufacturer"), vantor.Manufacturer},
            {QStringLiteral("plantNumber"), vantor.PlantNumber},
            {QStringLiteral("softVersion"), vantor.VerSoft},
            {QStringLiteral("hardVersion"), vantor.VerHard},
            {QStringLiteral("site"), vantor.Site},
            {QStringLiteral("device"), vantor.Device},
            {QStringLiteral("deviceName"), vantor.DeviceName},
            {QStringLiteral("deviceType"), vantor.DeviceType},
            {QStringLiteral("crc"), vantor.CRC},
        };
    }
    return Json(o);
}

QByteArray InputPayload(const TVantorInput& input, int number, qint64 time)
{
    QJsonObject o = Header(time);
    o[QStringLiteral("input")] = number;
    o[QStringLiteral("exchange")] = CodeAndText(OutInteger(input.OprosState), input.OprosState.StateCaption());
    o[QStringLiteral("battery")] = input.Battery;
    QJsonArray sensors;
    for (int i = 0; i < kSensorCount; ++i) {
        const int state = OutInteger(input.TemperState[i]);
        QJsonObject sensor = CodeAndText(state, input.TemperState[i].StateCaption());
        sensor[QStringLiteral("sensor")] = i + 1;
        // A temperature only where the sensor gives one; a status code is no temperature.
        sensor[QStringLiteral("temperature")] =
            state == 1 ? QJsonValue(input.Temper[i].GetOutValue().ToDouble()) : QJsonValue();
        sensors.append(sensor);
    }
    o[QStringLiteral("sensors")] = sensors;
    o[QStringLiteral("setpoint")] = input.TemperBound.Value();
    o[QStringLiteral("period")] = input.Interval;
    const int enabled = OutInteger(input.ChannelEnabled);
    o[QStringLiteral("inUse")] = CodeAndText(enabled, YesNoThreeStateTexts().value(enabled));
    o[QStringLiteral("plantNumber")] = input.PlantNumber;
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
