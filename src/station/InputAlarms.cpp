#include "station/InputAlarms.h"

#include "device/VantorInput.h"
#include "station/InputCells.h"

namespace {

constexpr qint32 kTemperature = 1;

qint32 OutInteger(const TIOData& value)
{
    qint32 n = 0;
    value.GetOutValue().TryToInteger(n);
    return n;
}

}  // namespace

TAlarmCounts InputAlarms(const TVantorInput& input, unsigned risingSensors)
{
    TAlarmCounts counts;
    if (input.Stale)
        return counts;
    if (input.OprosState.StateIsAlarm())
        counts.NoLink = 1;
    for (int i = 0; i < kSensorCount; ++i) {
        const TIOStates& state = input.TemperState[i];
        if (state.StateIsAlarm())
            ++counts.Sensor;
        else if ((risingSensors >> i & 1u) && OutInteger(state) == kTemperature)
            ++counts.Rise;
    }
    return counts;
}

TAlarmCounts& operator+=(TAlarmCounts& sum, const TAlarmCounts& more)
{
    sum.NoLink += more.NoLink;
    sum.Sensor += more.Sensor;
    sum.Rise += more.Rise;
    return sum;
}

QString AlarmCountsText(const TAlarmCounts& counts)
{
    if (counts.Total() == 0)
        return QStringLiteral("Тревог нет");
    QStringList kinds;
    if (counts.NoLink)
        kinds << QStringLiteral("нет связи %1").arg(counts.NoLink);
    if (counts.Sensor)
        kinds << QStringLiteral("датчики %1").arg(counts.Sensor);
    if (counts.Rise)
        kinds << QStringLiteral("рост %1").arg(counts.Rise);
    return QStringLiteral("Тревоги: ") + kinds.join(QStringLiteral(", "));
}

bool IsAlarmColor(TColor color)
{
    return color == clRed || color == clGray || color == clRise;
}
