#pragma once

#include "history/HistoryReading.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <array>
#include <optional>

// A slow rise on one rod is how self-heating grain shows itself, long before any set-point. A
// sensor is rising when the least-squares slope of its temperature over the recent window is
// above the rate. Only a sensor's real temperatures count: a reading with the sensor in a status
// code, or with the probe not in exchange (stale values), is left out.
struct TRiseSettings
{
    double RatePerDay = 1.0;   // °C a day
    double MinHours = 6;       // the counted readings must span at least this
    double WindowHours = 24;   // the slope is taken over the last so many hours

    qint64 WindowMs() const { return qint64(WindowHours * 3600'000.0); }
};

// From INI/VANTOR.ini, section [RiseAlarm]; a missing, junk or out-of-range value gives its
// default, and a window shorter than MinHours is widened to it.
TRiseSettings ReadRiseSettings(const QString& iniPath);

// The slope of sensor (1..6) in °C a day over the readings with now - window <= Time <= now;
// none when fewer than three real temperatures there, or when they span less than MinHours.
std::optional<double> RiseRate(const QVector<THistoryReading>& readings, int sensor, const TRiseSettings& settings,
                               qint64 now);

// Which sensors are rising, per input, so that each rise is reported once when it begins. A
// sensor leaves the rising state only when its slope falls clearly below the rate (or can no
// longer be taken), so a slope that wavers about the rate does not report again and again.
class TRiseTracker
{
public:
    explicit TRiseTracker(const TRiseSettings& settings = {}) : Settings_(settings) {}

    const TRiseSettings& Settings() const { return Settings_; }

    struct TRise
    {
        int Sensor = 0;  // 1..6
        double RatePerDay = 0;
    };
    // Takes the slopes of input's six sensors (none where none could be taken); returns the
    // sensors that have just begun to rise.
    QVector<TRise> Update(int input, const std::array<std::optional<double>, 6>& rates);
    // The slopes of input's sensors from its readings, then Update.
    QVector<TRise> Update(int input, const QVector<THistoryReading>& readings, qint64 now);

    bool IsRising(int input, int sensor) const;
    // Bit i - 1 set for each rising sensor i.
    unsigned RisingMask(int input) const { return Rising_.value(input); }

private:
    TRiseSettings Settings_;
    QHash<int, unsigned> Rising_;
};
