#include "common/LocalClock.h"

int LocalUtcOffset(qint64 msecsSinceEpoch)
{
    constexpr qint64 kMSecsPerMinute = 60 * 1000;
    thread_local qint64 offsetMinute = -1;
    thread_local int offset = 0;
    if (msecsSinceEpoch / kMSecsPerMinute != offsetMinute) {
        offset = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).offsetFromUtc();
        offsetMinute = msecsSinceEpoch / kMSecsPerMinute;
    }
    return offset;
}

QDateTime LocalNow()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(now, Qt::OffsetFromUTC, LocalUtcOffset(now));
}
