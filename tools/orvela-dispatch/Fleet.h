#pragma once

#include "AlarmBook.h"
#include "Messages.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>

#include <array>
#include <bitset>
#include <memory>

// A reading of the stream, as few bytes as it takes: the station page shows the last ones of an input.
struct TReadingRow {
    qint64 Time = 0;
    qint8 State = 0;
    std::array<qint8, kSensors> SensorState{};
    std::array<float, kSensors> Temperature{};
};
constexpr int kReadingsKept = 16;

struct TInputSlot {
    bool Known = false;
    TInputData Data;
    // What the grid shows where a payload gives no temperature: the last one given, as the window
    // keeps showing the values it read last.
    std::array<float, kSensors> Shown{NAN, NAN, NAN, NAN, NAN, NAN};
    QVector<TReadingRow> Readings;  // newest last, at most kReadingsKept
};

struct TStation {
    QString Name;
    bool HasStatus = false;
    TStatusMessage Status;
    bool HasController = false;
    TControllerMessage Controller;
    std::array<TInputSlot, kInputs> Inputs;
    QString ReadingsEpoch;  // of the last reading taken, to drop repeats
    qint64 ReadingsSeq = 0;
    qint64 NewestInput = 0;  // time of the newest input state
    bool Alive = false;      // as last judged
    bool RowsStale = true;   // as the rows were last drawn
};

// What every station published, as the pages show it; and which parts changed since they were
// last sent. Skipped payloads are counted.
class TFleet
{
public:
    TFleet(const QString& root, int staleMinutes);

    void Take(const QString& topic, const QByteArray& payload, qint64 now);
    // Judges again which stations are alive (their heartbeats and readings age without messages)
    // and clears yesterday's ended alarms.
    void Tick(qint64 now);

    const QMap<QString, std::shared_ptr<TStation>>& Stations() const { return Stations_; }
    const TStation* Find(const QString& name) const;
    TAlarmBook& Alarms() { return Alarms_; }
    const TAlarmBook& Alarms() const { return Alarms_; }

    // A station lives while its status says online, its heartbeat is at most three periods old and
    // its newest reading not older than the stale limit.
    bool Alive(const TStation& s, qint64 now) const;
    // The text of the station's state: "на связи", or why not.
    QString StatusText(const TStation& s, qint64 now) const;
    qint64 LastReading(const TStation& s) const;
    // The grid shows a station's values as not current while it is not alive or its controller does
    // not answer.
    bool InputsStale(const TStation& s) const;

    struct TChanges {
        QSet<QString> Tiles;                     // stations whose overview changed; gone ones included
        QHash<QString, std::bitset<kInputs>> Rows;  // the grid rows changed (bit n - 1)
        QSet<QString> Signatures;
        QSet<QPair<QString, int>> Readings;
        QSet<QString> Alarms;                    // keys
        bool Any() const { return !Tiles.isEmpty() || !Alarms.isEmpty(); }
    };
    TChanges TakeChanges();

    struct TSkipped {
        qint64 Malformed = 0;
        qint64 UnknownSchema = 0;
    };
    const TSkipped& Skipped() const { return Skipped_; }

private:
    TStation& Station(const QString& name);
    void Skip(const QString& station, TSkip why, const QString& topic);
    // A station is made by its first payload that could be read.
    void TakeInput(const QString& station, int n, const QByteArray& payload, const QString& topic);
    void TakeReading(const QString& station, const QByteArray& payload, const QString& topic);
    void AllRows(const QString& station);
    void Judge(TStation& s, qint64 now);

    QString Root_;
    qint64 StaleMs_;
    QMap<QString, std::shared_ptr<TStation>> Stations_;
    TAlarmBook Alarms_;
    TChanges Changes_;
    TSkipped Skipped_;
    QSet<QPair<QString, int>> Told_;  // (station, reason) already written to the log
};
