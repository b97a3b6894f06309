#pragma once

#include <QByteArray>
#include <QMutex>

#include <atomic>

class TCustomTimer;
class TRequestThread;

// Every exchange on the line is made while holding it: building the request, the transfer, the
// length test and the event-log line.
extern QMutex ExchangeLock;
// Each cycle also reads the settings of its group.
extern std::atomic<bool> PollSettings;
// 10 or 16: the form of frames in the event log; anything else writes no exchange lines.
extern std::atomic<int> LogRadix;

TRequestThread* RequestThread();
TCustomTimer* PollTimer();

// Creates the worker (idle) and the poll timer "ctReqDevices" with its stored state.
void PollingStartup();
// Frees the timer and ends the worker; returns when it has ended.
void PollingShutdown();

// The poll timer's tick: one cycle of the worker, and the next tick one full Interval later.
void PollTick(TCustomTimer* timer);
// Starts a round from group 1: the timer runs and the first cycle starts at once.
void ResumePolling();

// One poll exchange of command 0..3 for the worker; true when the answer has the command's length.
bool PollExchange(int command, QByteArray& request, QByteArray& answer);
// One complete operator command in the UI thread: the result of ParseAnswer. An EConvertError of
// the parse passes on to the caller, without a log line.
bool ExecuteCommand(int command);
