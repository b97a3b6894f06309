#pragma once

#include <QDateTime>

// The local time now, with a fixed offset from UTC. Cheap enough for every exchange: the zone's
// offset is looked up once a minute per thread (offsets change on whole minutes), where each
// lookup reads the zone file's status again.
QDateTime LocalNow();
