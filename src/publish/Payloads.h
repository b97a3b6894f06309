#pragma once

#include "history/HistoryReading.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <array>

class TVantor;
class TVantorInput;

// The published messages: compact JSON in UTF-8, numbers as numbers, times in ISO 8601 UTC, and
// "schema" in each, raised when a field changes meaning or goes away (fields may be added).
constexpr int kPayloadSchema = 2;

QString IsoTime(qint64 ms);
QByteArray Json(const QJsonObject& object);

// What the polling thread hands over: a copy of the values, made in a microsecond or two; the
// publisher's thread makes the JSON of it.
struct TCodeText {
    int Code = 0;
    QString Text;
};

struct TControllerSnapshot {
    qint64 Time = 0;
    int Address = 0;
    TCodeText Exchange;
    int Error = 0;
    bool SignatureRead = false;
    QString Manufacturer, Site, Device, DeviceName, Crc;
    int PlantNumber = 0, SoftVersion = 0, HardVersion = 0, DeviceType = 0;
};

// The input as the grid shows it.
struct TInputSnapshot {
    qint64 Time = 0;
    int Input = 0;
    TCodeText Exchange;
    int Battery = 0;
    std::array<TCodeText, 6> Sensors;
    std::array<double, 6> Temperatures{};
    std::array<int, 6> BoundActive{};  // three-state: unknown, no, yes; per sensor
    int SoftVersion = 0;
    QString Crc;  // "" until read
    bool SettingsKnown = false;  // the set-point, period and enable flag were read
    double Bound = 0;
    int Period = 0;
    int Enabled = 0;  // three-state: unknown, no, yes
    int PlantNumber = 0;
};

TControllerSnapshot SnapshotOf(const TVantor& vantor, qint64 time);
TInputSnapshot SnapshotOf(const TVantorInput& input, int number, qint64 time);
QByteArray ControllerPayload(const TControllerSnapshot& controller);
QByteArray InputPayload(const TInputSnapshot& input);
// A stream message is numbered by seq within the outbox's epoch.
struct TStreamPlace {
    QString Station;
    QString Epoch;
    qint64 Seq = 0;
};
QByteArray ReadingPayload(const TStreamPlace& place, const THistoryReading& reading);
// An alarm event kept in the outbox (without its place in the stream), and the same with it.
QByteArray AlarmEventPayload(const TStreamPlace& place, const QByteArray& event);
