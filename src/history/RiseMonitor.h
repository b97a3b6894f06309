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
// tracker is updated and OnRise is raised for each rise that has just begun.
class TRiseMonitor : public QObject
{
public:
    using TOnRise = std::function<void(int input, int sensor, double ratePerDay)>;

    TRiseMonitor(const QString& databasePath, const TRiseSettings& settings, QObject* parent = nullptr);
    ~TRiseMonitor() override;

    // Queues a check of input unless one is pending or the last was less than CheckInterval ago.
    void Check(int input);
    bool IsRising(int input, int sensor) const { return Tracker_.IsRising(input, sensor); }
    unsigned RisingMask(int input) const { return Tracker_.RisingMask(input); }
    // True while a check is queued or running.
    bool Busy() const { return !Pending_.isEmpty(); }

    TOnRise OnRise;
    // The readings of a probe change every few minutes: checking an input more often is wasted.
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
