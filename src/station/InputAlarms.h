#pragma once

#include "values/Descriptions.h"

#include <QString>

class TVantorInput;

// The alarms an input's row shows, by kind, so that an operator finds them among 192 rows: the
// probe out of link, a sensor in a fault state, a sensor rising (bit i - 1 of rising for sensor i).
// A row whose data did not update shows no alarm: what it would show is not current.
struct TAlarmCounts
{
    int NoLink = 0;
    int Sensor = 0;
    int Rise = 0;

    int Total() const { return NoLink + Sensor + Rise; }
    bool operator==(const TAlarmCounts&) const = default;
};

TAlarmCounts InputAlarms(const TVantorInput& input, unsigned risingSensors);
TAlarmCounts& operator+=(TAlarmCounts& sum, const TAlarmCounts& more);

// "Тревоги: нет связи 2, датчики 1, рост 1" with the kinds that occur, or "Тревог нет".
QString AlarmCountsText(const TAlarmCounts& counts);

// The font colours that mark a state an operator must look at: a fault, a state not known, a rise.
bool IsAlarmColor(TColor color);
