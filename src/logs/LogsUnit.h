#pragma once

#include <QString>

#include <functional>

class TLog;
class TAlarm;

// The event log and the alarm log of the program, between start-up and shut-down; null otherwise.
TLog* EventLog();
TAlarm* AlarmLog();

// Reads [Logs] of INI/VANTOR.ini: EventLogDays (days of event-log files kept, 30 when missing,
// 0 or bad) and MinFreeMB (the free space below which the event log stops, 500 when missing or
// bad; 0 switches the floor off). Removes the event-log files older than that.
void LogsStartup();
void LogsShutdown();

// Told when a log cannot be written (its text) and when it writes again (an empty text), in the
// thread that writes: the window shows it in its status bar. Unbound with an empty function.
enum class TLogKind { Event, Alarm };
using TLogTrouble = std::function<void(TLogKind log, const QString& text)>;
void SetLogTroubleHandler(TLogTrouble handler);
