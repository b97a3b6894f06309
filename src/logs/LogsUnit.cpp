#include "logs/LogsUnit.h"

#include "common/IniFile.h"
#include "common/ProgramFolder.h"
#include "logs/Logs.h"

#include <memory>
#include <mutex>

namespace {

std::unique_ptr<TLog> eventLog;
std::unique_ptr<TAlarm> alarmLog;

std::mutex handlerMutex;
TLogTrouble handler;

void TellHandler(TLogKind log, const QString& text)
{
    std::lock_guard lock(handlerMutex);
    if (handler)
        handler(log, text);
}

// A number of the section, or def when it is missing, not a number or outside min..max.
int ReadSetting(const TIniFile& ini, const QString& key, int def, int min, int max)
{
    const int value = ini.ReadInteger(QStringLiteral("Logs"), key, def);
    return value >= min && value <= max ? value : def;
}

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
    const TIniFile ini(folder + QStringLiteral("INI/VANTOR.ini"));
    eventLog->KeepDays = ReadSetting(ini, QStringLiteral("EventLogDays"), TLog::kDefaultKeepDays, 1, 36500);
    eventLog->FreeFloor = qint64(ReadSetting(ini, QStringLiteral("MinFreeMB"),
                                             int(TLog::kDefaultFreeFloor / (1024 * 1024)), 0, 1024 * 1024)) *
                          1024 * 1024;
    // The alarm log is the operator's record of what the event log did not keep.
    TAlarm* alarm = alarmLog.get();
    eventLog->OnLowSpace = [alarm](const QString& text) { alarm->WriteLine(text); };
    eventLog->OnTrouble = [alarm](const QString& text) {
        if (!text.isEmpty())
            alarm->WriteLine(text);
        TellHandler(TLogKind::Event, text);
    };
    alarmLog->OnTrouble = [](const QString& text) { TellHandler(TLogKind::Alarm, text); };
    eventLog->PruneOldFiles();
}

void LogsShutdown()
{
    alarmLog.reset();
    eventLog.reset();
}

void SetLogTroubleHandler(TLogTrouble newHandler)
{
    std::lock_guard lock(handlerMutex);
    handler = std::move(newHandler);
}
