#include "station/AlarmLines.h"

#include "device/DisplayTables.h"
#include "device/Vantor.h"

#include <QLocale>

namespace {

int OutInteger(const TIOData& value)
{
    qint32 n = 0;
    value.GetOutValue().TryToInteger(n);
    return n;
}

// OprosState values that are written: 0 "Норма" and 3 "Нет связи".
constexpr int kInputNormal = 0;
constexpr int kInputNoLink = 3;

}  // namespace

QString ModuleErrorLine(const TVantor& vantor)
{
    const TIOThreeStates& module = vantor.ModuleError;
    if (OutInteger(module) == tsTrue)
        return vantor.Title + QStringLiteral(" Ошибка обмена: ") + module.StateCaption();
    return vantor.Title + u' ' + module.Description().Title + QStringLiteral(": ") + module.StateCaption();
}

QString ErrorCodeLine(const TVantor& vantor)
{
    return vantor.Title + u' ' + vantor.Error.Description().Title + QStringLiteral(": ") +
           QString::number(OutInteger(vantor.Error));
}

QString InputStateLine(const TVantorInput& input)
{
    const TIOStates& state = input.OprosState;
    const int n = OutInteger(state);
    if (n != kInputNormal && n != kInputNoLink)
        return QString();
    return input.Title + QStringLiteral(" (№ ") + QString::number(input.PlantNumber) + QStringLiteral(") ") +
           state.StatesDescription().Title + QStringLiteral(": ") + state.StateCaption();
}

QString SensorStateLine(const TVantorInput& input, int sensor)
{
    const TIOStates& state = input.TemperState[sensor - 1];
    if (!state.StateIsAlarm())
        return QString();
    return state.StatesDescription().Title + QStringLiteral(": ") + state.StateCaption() + QStringLiteral(" (") +
           SensorMessage(OutInteger(state)) + QStringLiteral(") ");
}

QString SensorStateText(const TVantorInput& input, int sensor)
{
    const TIOStates& state = input.TemperState[sensor - 1];
    return state.StatesDescription().Title + QStringLiteral(": ") + state.StateCaption();
}

QString SensorRiseLine(const TVantorInput& input, int sensor, double ratePerDay)
{
    const TIODouble& temper = input.Temper[sensor - 1];
    return input.TemperState[sensor - 1].StatesDescription().Title + QStringLiteral(": рост ") +
           QLocale::system().toString(ratePerDay, 'f', 1) + u' ' + temper.Description().Dimension +
           QStringLiteral("/сут ");
}

QString SensorRiseEndLine(const TVantorInput& input, int sensor)
{
    return input.TemperState[sensor - 1].StatesDescription().Title + QStringLiteral(": рост прекратился ");
}

QString PlantNumberChangeLine(const TVantorInput& input, int was, int now)
{
    return input.Title + QStringLiteral(" (№ ") + QString::number(now) +
           QStringLiteral(") Заводской номер термоподвески изменился, был № ") + QString::number(was);
}

QString PollHeldLine(const QString& title, const QString& reason)
{
    return title + u' ' + reason;
}

QString BrokerLostLine(const QString& reason)
{
    return QStringLiteral("Нет соединения с брокером MQTT: ") + reason;
}

QString BrokerBackLine()
{
    return QStringLiteral("Соединение с брокером MQTT восстановлено");
}
