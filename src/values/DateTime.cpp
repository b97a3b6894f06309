#include "values/DateTime.h"

#include "common/LocalClock.h"

#include <cmath>

namespace {

constexpr qint64 kMSecsPerMinute = 60 * 1000;
constexpr qint64 kMSecsPerDay = 24 * 60 * kMSecsPerMinute;

qint64 FloorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

TDateTime NowDateTime()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    return static_cast<double>(now + qint64(LocalUtcOffset(now)) * 1000) / kMSecsPerDay + kUnixEpochDateTime;
}

TDateTime QDateTimeToDateTime(const QDateTime& dateTime)
{
    const QDateTime local = dateTime.toLocalTime();
    const qint64 days = QDate(1899, 12, 30).daysTo(local.date());
    return static_cast<double>(days) + local.time().msecsSinceStartOfDay() / double(kMSecsPerDay);
}

TLocalDateTime SplitDateTime(TDateTime dateTime)
{
    // QDate reaches far beyond this; the bound only keeps the arithmetic in 64 bits.
    if (!std::isfinite(dateTime) || std::abs(dateTime) > 1e8)
        return {};
    const qint64 msecs = std::llround(dateTime * kMSecsPerDay);
    const qint64 days = FloorDiv(msecs, kMSecsPerDay);
    return {QDate(1899, 12, 30).addDays(days), QTime::fromMSecsSinceStartOfDay(int(msecs - days * kMSecsPerDay))};
}
