#include "history/RiseDetector.h"

#include "common/IniFile.h"

#include <algorithm>
#include <cmath>

namespace {

const QString kSection = QStringLiteral("RiseAlarm");

double ReadPositive(const TIniFile& ini, const QString& key, double def, double max)
{
    const double value = ini.ReadFloat(kSection, key, def);
    return std::isfinite(value) && value > 0 && value <= max ? value : def;
}

// The exchange state of a reading with fresh values.
constexpr int kExchangeNormal = 0;
constexpr int kSensorTemperature = 1;
constexpr int kMinPoints = 3;
constexpr double kMsPerDay = 86400'000.0;
// A rising sensor is cleared once its slope is below this share of the rate.
constexpr double kClearShare = 0.8;

}  // namespace

TRiseSettings ReadRiseSettings(const QString& iniPath)
{
    const TIniFile ini(iniPath);
    TRiseSettings settings;
    const TRiseSettings defaults;
    // A trial over minutes takes rates far above the field's few degrees a day: the simulator's
    // probes wander by a sixteenth of a degree every few seconds.
    settings.RatePerDay = ReadPositive(ini, QStringLiteral("RatePerDay"), defaults.RatePerDay, 100'000);
    settings.MinHours = ReadPositive(ini, QStringLiteral("MinHours"), defaults.MinHours, 24 * 366);
    settings.WindowHours = std::max(settings.MinHours,
                                    ReadPositive(ini, QStringLiteral("WindowHours"), defaults.WindowHours, 24 * 366));
    return settings;
}

std::optional<double> RiseRate(const QVector<THistoryReading>& readings, int sensor, const TRiseSettings& settings,
                               qint64 now)
{
    const int i = sensor - 1;
    if (i < 0 || i >= 6)
        return std::nullopt;
    const qint64 from = now - settings.WindowMs();
    // Times relative to the first point counted, in days, so that the sums keep their precision.
    qint64 origin = 0;
    qint64 first = 0, last = 0;
    int count = 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const THistoryReading& r : readings) {
        if (r.Time < from || r.Time > now || r.OprosState != kExchangeNormal || r.TemperState[i] != kSensorTemperature ||
            !std::isfinite(r.Temper[i]))
            continue;
        if (count == 0)
            origin = first = r.Time;
        last = r.Time;
        const double x = double(r.Time - origin) / kMsPerDay;
        const double y = r.Temper[i];
        sx += x, sy += y, sxx += x * x, sxy += x * y;
        ++count;
    }
    if (count < kMinPoints || double(last - first) < settings.MinHours * 3600'000.0)
        return std::nullopt;
    const double d = count * sxx - sx * sx;
    if (d <= 0)
        return std::nullopt;
    return (count * sxy - sx * sy) / d;
}

QVector<TRiseTracker::TRise> TRiseTracker::Update(int input, const std::array<std::optional<double>, 6>& rates)
{
    QVector<TRise> started;
    unsigned mask = Rising_.value(input);
    for (int i = 0; i < 6; ++i) {
        const unsigned bit = 1u << i;
        const std::optional<double>& rate = rates[i];
        if (!(mask & bit)) {
            if (rate && *rate > Settings_.RatePerDay) {
                mask |= bit;
                started.push_back({i + 1, *rate});
            }
        } else if (!rate || *rate < Settings_.RatePerDay * kClearShare) {
            mask &= ~bit;
        }
    }
    if (mask)
        Rising_.insert(input, mask);
    else
        Rising_.remove(input);
    return started;
}

QVector<TRiseTracker::TRise> TRiseTracker::Update(int input, const QVector<THistoryReading>& readings, qint64 now)
{
    std::array<std::optional<double>, 6> rates;
    for (int i = 0; i < 6; ++i)
        rates[i] = RiseRate(readings, i + 1, Settings_, now);
    return Update(input, rates);
}

bool TRiseTracker::IsRising(int input, int sensor) const
{
    return sensor >= 1 && sensor <= 6 && (Rising_.value(input) >> (sensor - 1)) & 1u;
}
