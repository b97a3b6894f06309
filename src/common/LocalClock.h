#pragma once

#include <QDateTime>

// The local zone's offset from UTC at the given moment, in seconds. Cheap enough for every value
// update and every exchange: the zone is looked up once a minute per thread (offsets change on
// whole minutes), where each lookup reads the zone file's status again.
int LocalUtcOffset(qint64 msecsSinceEpoch);
// The local time now, with that offset.
QDateTime LocalNow();
