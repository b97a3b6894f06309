#include "common/LocalClock.h"

QDateTime LocalNow()
{
    constexpr qint64 kMSecsPerMinute = 60 * 1000;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    thread_local qint64 offsetMinute = -1;
    thread_local int offset = 0;
    if (now / kMSecsPerMinute != offsetMinute) {
        offset = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc();
        offsetMinute = now / kMSecsPerMinute;
    }
    return QDateTime::fromMSecsSinceEpoch(now, Qt::OffsetFromUTC, offset);
}
