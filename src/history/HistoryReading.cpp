#include "history/HistoryReading.h"

#include "history/HistoryBlock.h"

bool THistoryReading::SameValues(const THistoryReading& other) const
{
    if (Input != other.Input || OprosState != other.OprosState || Battery != other.Battery
        || BoundSixteenths(Bound) != BoundSixteenths(other.Bound) || TemperState != other.TemperState)
        return false;
    for (size_t i = 0; i < Temper.size(); ++i)
        if (Sixteenths(Temper[i]) != Sixteenths(other.Temper[i]))
            return false;
    return true;
}
