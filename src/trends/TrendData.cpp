#include "trends/TrendData.h"

#include "device/VantorInput.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr qint64 kHour = 3600'000;
constexpr int kSensorTemperature = 1;
constexpr int kFirstStatus = 2;
constexpr int kExchangeNormal = 0;

// The probe answered the controller: the sensors' values are measurements.
bool InExchange(const THistoryReading& r)
{
    return r.OprosState == kExchangeNormal;
}

bool Within(const THistoryReading& r, const TTimeRange& range)
{
    return r.Time >= range.From && r.Time <= range.To;
}

}  // namespace

TTimeRange SpanRange(ETrendSpan span, qint64 now)
{
    qint64 length = kHour;
    switch (span) {
    case ETrendSpan::Hour:
    case ETrendSpan::Dates:
        break;
    case ETrendSpan::Day:
        length = 24 * kHour;
        break;
    case ETrendSpan::Week:
        length = 7 * 24 * kHour;
        break;
    case ETrendSpan::Month:
        length = 30 * 24 * kHour;
        break;
    }
    return {now - length, now};
}

QList<QPointF> SensorPoints(const QVector<THistoryReading>& readings, int sensor, const TTimeRange& range,
                            int maxPoints)
{
    QList<QPointF> all;
    const int i = sensor - 1;
    if (i < 0 || i >= kSensorCount)
        return all;
    for (const THistoryReading& r : readings)
        if (Within(r, range) && InExchange(r) && r.TemperState[i] == kSensorTemperature && std::isfinite(r.Temper[i]))
            all.append(QPointF(double(r.Time), r.Temper[i]));
    if (maxPoints < 2 || all.size() <= maxPoints)
        return all;
    // Buckets of equal time, two points each.
    const int buckets = maxPoints / 2;
    const double first = all.constFirst().x();
    const double width = (all.constLast().x() - first) / buckets;
    QList<QPointF> kept;
    kept.reserve(maxPoints);
    qsizetype at = 0;
    for (int b = 0; b < buckets && at < all.size(); ++b) {
        const double end = b + 1 == buckets ? std::numeric_limits<double>::infinity() : first + width * (b + 1);
        qsizetype low = -1, high = -1;
        for (; at < all.size() && all[at].x() < end; ++at) {
            if (low < 0 || all[at].y() < all[low].y())
                low = at;
            if (high < 0 || all[at].y() > all[high].y())
                high = at;
        }
        if (low < 0)
            continue;
        kept.append(all[std::min(low, high)]);
        if (low != high)
            kept.append(all[std::max(low, high)]);
    }
    return kept;
}

QList<QPointF> BoundPoints(const QVector<THistoryReading>& readings, const TTimeRange& range)
{
    QList<QPointF> points;
    const THistoryReading* last = nullptr;
    for (const THistoryReading& r : readings) {
        if (!Within(r, range) || std::isnan(r.Bound))
            continue;
        if (last && r.Bound != last->Bound)
            points.append(QPointF(double(r.Time), last->Bound));  // the step's corner
        if (!last || r.Bound != last->Bound)
            points.append(QPointF(double(r.Time), r.Bound));
        last = &r;
    }
    if (last && points.constLast().x() != double(last->Time))
        points.append(QPointF(double(last->Time), last->Bound));
    return points;
}

QVector<TFaultMark> FaultMarks(const QVector<THistoryReading>& readings, const TTimeRange& range)
{
    QVector<TFaultMark> marks;
    std::array<int, kSensorCount> previous{};
    std::array<double, kSensorCount> lastValue;
    lastValue.fill(std::numeric_limits<double>::quiet_NaN());
    bool wasInExchange = true;
    for (const THistoryReading& r : readings) {
        if (!Within(r, range))
            continue;
        if (!InExchange(r)) {
            if (wasInExchange)
                for (int i = 0; i < kSensorCount; ++i)
                    marks.append({r.Time, i + 1, 0, lastValue[i], true});
            wasInExchange = false;
            continue;
        }
        wasInExchange = true;
        for (int i = 0; i < kSensorCount; ++i) {
            const int state = r.TemperState[i];
            if (state >= kFirstStatus && state != previous[i])
                marks.append({r.Time, i + 1, state, lastValue[i]});
            if (state == kSensorTemperature)
                lastValue[i] = r.Temper[i];
            previous[i] = state;
        }
    }
    return marks;
}

qsizetype NearestReading(const QVector<THistoryReading>& readings, qint64 time)
{
    if (readings.isEmpty())
        return -1;
    const auto after = std::lower_bound(readings.cbegin(), readings.cend(), time,
                                        [](const THistoryReading& r, qint64 t) { return r.Time < t; });
    if (after == readings.cend())
        return readings.size() - 1;
    if (after == readings.cbegin())
        return 0;
    const auto before = after - 1;
    return (time - before->Time <= after->Time - time ? before : after) - readings.cbegin();
}

QString ReadingText(const THistoryReading& reading, const QLocale& locale)
{
    static const TVantorInput captions(1);
    QString text = QStringLiteral("Вход %1  ").arg(reading.Input) +
                   QDateTime::fromMSecsSinceEpoch(reading.Time).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    for (int i = 0; i < kSensorCount; ++i) {
        const int state = reading.TemperState[i];
        const QList<TState>& states = captions.TemperState[i].StatesDescription().States;
        text += QStringLiteral("  T%1 ").arg(i + 1) +
                (state < kFirstStatus ? locale.toString(reading.Temper[i], 'f', 1)
                                      : states.value(state, TState{QString::number(state)}).Caption);
    }
    if (!InExchange(reading))
        text += QStringLiteral("  нет обмена");
    return text + QStringLiteral("  Уставка ") +
           (std::isnan(reading.Bound) ? QStringLiteral("_ _") : locale.toString(reading.Bound, 'f', 1));
}
