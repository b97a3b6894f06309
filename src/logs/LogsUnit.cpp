#include "logs/LogsUnit.h"

#include "common/ProgramFolder.h"
#include "logs/Logs.h"

#include <memory>

namespace {

std::unique_ptr<TLog> eventLog;
std::unique_ptr<TAlarm> alarmLog;

}  // namespace

TLog* EventLog()
{
    return eventLog.get();
}

TAlarm* AlarmLog()
{
    return alarmLog.get();
}

void LogsStartup()
{
    const QString folder = ProgramFolder();
    eventLog = std::make_unique<TLog>(folder);
    alarmLog = std::make_unique<TAlarm>(folder);
}

void LogsShutdown()
{
    alarmLog.reset();
    eventLog.reset();
}
