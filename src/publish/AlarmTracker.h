#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QVector>

#include <optional>

class TVantor;
class TVantorInput;

// An alarm-log line as an event: the Russian text is the line the alarm log writes.
struct TAlarmEvent {
    qint64 Time = 0;     // ms since the epoch, UTC
    int Input = 0;       // 0 for the controller
    int Sensor = 0;      // 1..6, 0 for an input or the controller
    QString Kind;        // "controller", "error", "input", "sensor", "rise"
    bool Active = false; // the alarm begins (true) or ends
    QString Text;
    // A rise's slope (unknown once it can no longer be taken) and the alarm's rate, °C an hour.
    std::optional<double> Rate;
    double Threshold = 0;

    QByteArray ToJson() const;  // without schema, station and seq: the publisher adds them
};

// The texts of the events are the alarm-log lines of the station that writes them.
struct TAlarmTexts {
    QString (*Module)(const TVantor& vantor) = nullptr;
    QString (*Error)(const TVantor& vantor) = nullptr;
    QString (*Input)(const TVantorInput& input) = nullptr;
    // A sensor in an alarm state, and one back to normal (its name and state).
    QString (*Sensor)(const TVantorInput& input, int sensor) = nullptr;
    QString (*SensorBack)(const TVantorInput& input, int sensor) = nullptr;
};

// Follows the polled states and tells what changed: the alarms that begin or end, and the list of
// those now active. A normal state seen first is no event; a change to it is.
class TAlarmTracker
{
public:
    explicit TAlarmTracker(const TAlarmTexts& texts) : Texts_(texts) {}

    // The controller and inputs first..last as decoded now.
    QVector<TAlarmEvent> Update(const TVantor& vantor, int first, int last, qint64 time);
    // A sensor's rise begins (active) or ends: it is an alarm while it lasts.
    TAlarmEvent Rise(int input, int sensor, bool active, std::optional<double> ratePerHour, double thresholdPerHour,
                     const QString& text, qint64 time);
    // The list as of its last change; made again only after one.
    QByteArray ActivePayload();
    // Whether the list changed since the last call.
    bool TakeChanged();
    int ActiveCount() const { return int(Active_.size()); }

private:
    // The event is made only when the code changed: most cycles change nothing.
    template <typename MakeEvent>
    void Observe(int key, int code, bool alarm, MakeEvent make, QVector<TAlarmEvent>& events);

    // Marks the list changed after an alarm began or ended (or at the first update).
    void Changed(qint64 time);

    TAlarmTexts Texts_;
    QHash<int, int> Seen_;          // last state code per key (input * 8 + sensor; below 0 the controller)
    QMap<int, TAlarmEvent> Active_; // ordered by key for a stable list
    qint64 Changed_ = 0;
    QByteArray Payload_;            // empty after a change
    bool Unread_ = true;            // changed since TakeChanged
};
