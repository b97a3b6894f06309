#pragma once

#include "history/RiseDetector.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>

#include <functional>

// Watches the inputs for rising sensors from the history database, away from the UI thread: a
// check queries the input's recent readings on a thread of its own (with its own connection to
// the database) and hands the slopes back to the thread that owns the monitor, where the
// tracker is updated and OnRise is raised for each rise that has just begun, OnRiseEnd for each
// that has just ended.
class TRiseMonitor : public QObject
{
public:
    using TOnRise = std::function<void(int input, int sensor, double ratePerDay)>;
    // The slope that ended the rise, or none when it can no longer be taken.
    using TOnRiseEnd = std::function<void(int input, int sensor, std::optional<double> ratePerDay)>;

    TRiseMonitor(const QString& databasePath, const TRiseSettings& settings, QObject* parent = nullptr);
    ~TRiseMonitor() override;

    // Queues a check of input unless one is pending or the last was less than CheckInterval ago.
    void Check(int input);
    bool IsRising(int input, int sensor) const { return Tracker_.IsRising(input, sensor); }
    unsigned RisingMask(int input) const { return Tracker_.RisingMask(input); }
    // True while a check is queued or running.
    bool Busy() const { return !Pending_.isEmpty(); }

    const TRiseSettings& Settings() const { return Tracker_.Settings(); }

    TOnRise OnRise;
    TOnRiseEnd OnRiseEnd;
    // A check of input is over (after its OnRise and OnRiseEnd): RisingMask says what it found.
    std::function<void(int input)> OnChecked;
    // The readings of a probe change every few minutes: checking an input more often than once a
    // minute is wasted. A window of minutes (a trial) is looked at ten times in its span.
    qint64 CheckIntervalMs = 60'000;

private:
    class TWorker;
    void Apply(int input, const std::array<std::optional<double>, 6>& rates);

    TRiseTracker Tracker_;
    QThread Thread_;
    TWorker* Worker_ = nullptr;
    QSet<int> Pending_;
    QHash<int, qint64> LastCheck_;
};
