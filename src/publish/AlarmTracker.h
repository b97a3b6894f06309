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
    bool Active = false; // the alarm begins (true), goes on in another state (true again) or ends
    QString Text;
    int State = 0;       // the code of what is alarming, as its retained topic gives it
    // Who the alarm is, the same from its begin to its end and across restarts:
    // "station/kind/input/sensor/start"; empty (and Start 0) for a change that ends no alarm.
    QString Id;
    qint64 Start = 0;    // ms since the epoch, UTC
    // A rise's slope (unknown once it can no longer be taken) and the alarm's rate, °C an hour.
    std::optional<double> Rate;
    double Threshold = 0;

    QByteArray ToJson() const;  // without schema, station and seq: the publisher adds them
    // From ToJson; nothing when it is not an alarm of a known kind.
    static std::optional<TAlarmEvent> FromJson(const QByteArray& json);
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
// The alarms active when the station stopped (Restore) are its starting point: each is compared
// with its state when that is first read, and goes on (no event), ends, or goes on in another
// state; those never read again stay as they were.
class TAlarmTracker
{
public:
    TAlarmTracker(const TAlarmTexts& texts, const QString& station) : Texts_(texts), Station_(station) {}

    // The alarms active before: their events as the outbox kept them (malformed ones are left out).
    void Restore(const QVector<QByteArray>& events);
    // The controller and inputs first..last as decoded now.
    QVector<TAlarmEvent> Update(const TVantor& vantor, int first, int last, qint64 time);
    // A sensor's rise begins (active) or ends: it is an alarm while it lasts. Nothing to tell when
    // a rise kept from before is found again, or one not active ends.
    std::optional<TAlarmEvent> Rise(int input, int sensor, bool active, std::optional<double> ratePerHour,
                                    double thresholdPerHour, const QString& text, int state, qint64 time);
    // The sensors of input with a rise alarm that are not in risingMask (bit s - 1 for sensor s).
    QVector<int> RisesBeside(int input, unsigned risingMask) const;
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
    std::optional<TAlarmEvent> TakeActive(int key);
    // The identity of an event: the alarm's it goes on or ends (was), or a new one when it begins.
    void Identify(TAlarmEvent& event, const TAlarmEvent* was) const;

    TAlarmTexts Texts_;
    QString Station_;
    QHash<int, int> Seen_;          // last state code per key (input * 8 + sensor; below 0 the controller)
    QMap<int, TAlarmEvent> Active_; // ordered by key for a stable list
    qint64 Changed_ = 0;
    QByteArray Payload_;            // empty after a change
    bool Unread_ = true;            // changed since TakeChanged
};
