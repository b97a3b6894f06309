#pragma once

class TLog;
class TAlarm;

// The event log and the alarm log of the program, between start-up and shut-down; null otherwise.
TLog* EventLog();
TAlarm* AlarmLog();

void LogsStartup();
void LogsShutdown();
