#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <array>
#include <cmath>

// What the stations publish (schema 2), read into plain values. Every reader gives the reason it
// skipped a payload: the dispatcher counts those and goes on.

constexpr int kKnownSchema = 2;
constexpr int kInputs = 192;
constexpr int kSensors = 6;

enum class TTopicKind { Status, Controller, Input, Readings, AlarmEvents, AlarmsActive, Other };

struct TTopic {
    QString Station;
    TTopicKind Kind = TTopicKind::Other;
    int Input = 0;  // of input/<n>, 1..192
};

// "<root>/<station>/<kind>"; nothing for a topic outside the root or without a station.
bool ParseTopic(const QString& root, const QString& topic, TTopic& out);

enum class TSkip { None, Malformed, UnknownSchema };

struct TStatusMessage {
    QString Status;        // "online", "offline"
    qint64 Time = 0;       // ms since the epoch, UTC; 0 when null (the last will)
    int Period = 0;        // seconds between heartbeats
    qint64 LastReading = 0;
    QString Reason;        // "stopped", "lost"
};

struct TSignatureField {
    QString Key;    // as published: "manufacturer", "plantNumber", ...
    QString Value;  // numbers as their decimal text
};

struct TControllerMessage {
    qint64 Time = 0;
    int Address = 0;
    int State = 0;  // the link state: 0 unknown, 1 "Норма", 2 a failure
    QString StateText;
    int Error = 0;
    QVector<TSignatureField> Signature;  // empty until read
};

// An input as the station's grid shows it.
struct TInputData {
    qint64 Time = 0;
    int State = 0;  // the exchange state: 0 "Норма", 1 "Отключен", 2 "Данные не обновились", 3 "Нет связи"
    int Battery = 0;
    std::array<int, kSensors> SensorState{};  // 1 a temperature, 2..10 the status codes
    std::array<float, kSensors> Temperature{NAN, NAN, NAN, NAN, NAN, NAN};  // NaN: none given
    std::array<int, kSensors> BoundActive{-1, -1, -1, -1, -1, -1};        // -1 unknown, 0, 1
    bool SettingsKnown = false;  // Bound, PeriodMinutes and Enabled were read
    double Bound = 0;
    int PeriodMinutes = 0;
    int Enabled = -1;  // -1 unknown, 0, 1
    int PlantNumber = 0;
    int SoftVersion = -1;  // -1 from a station that does not send it
    QString Crc;
};

struct TReadingMessage {
    QString Epoch;
    qint64 Seq = 0;
    int Input = 0;
    qint64 Time = 0;
    int State = 0;
    std::array<int, kSensors> SensorState{};  // 0 when none (out of exchange)
    std::array<float, kSensors> Temperature{NAN, NAN, NAN, NAN, NAN, NAN};
};

// An alarm as an event and as an entry of the active list. Fields a station of an older version
// does not send stay empty: Id, Start, Severity, Code, Rate, Threshold.
struct TAlarmMessage {
    QString Id;
    QString Kind;  // "controller", "error", "input", "sensor", "rise", or one not known here
    int Input = 0;
    int Sensor = 0;
    QString Text;
    qint64 Time = 0;   // of the event; of the list entry, its since
    qint64 Start = 0;  // when the alarm began, 0 when not told
    bool Active = true;
    QString Severity;
    int Code = -1;
    double Rate = NAN;
    double Threshold = NAN;
    QString Epoch;
    qint64 Seq = 0;
};

struct TActiveList {
    qint64 Time = 0;
    QVector<TAlarmMessage> Alarms;
};

// ISO 8601 with or without milliseconds, as ms since the epoch; false for anything else.
bool ParseIsoTime(const QString& text, qint64& ms);

TSkip ParseStatus(const QByteArray& payload, TStatusMessage& out);
TSkip ParseController(const QByteArray& payload, TControllerMessage& out);
// input: the number the topic names; the payload must name the same.
TSkip ParseInput(const QByteArray& payload, int input, TInputData& out);
TSkip ParseReading(const QByteArray& payload, TReadingMessage& out);
TSkip ParseAlarmEvent(const QByteArray& payload, TAlarmMessage& out);
TSkip ParseActiveList(const QByteArray& payload, TActiveList& out);
