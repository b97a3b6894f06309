#pragma once

#include <atomic>

class TCustomTimer;
class TRequestThread;

// Each cycle also reads the settings of its group.
extern std::atomic<bool> PollSettings;

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
