#pragma once

#include <QString>

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
// While PollHeldReason is not empty no cycle runs; true for the first such tick since polling
// resumed or last ran, so that the caller tells the reason once.
bool PollTick(TCustomTimer* timer);
// Why polling cannot go on (no system address), or empty.
QString PollHeldReason();
// Starts a round from group 1: the timer runs and the first cycle starts at once. The first tick's
// PollTick result.
bool ResumePolling();

// After the port's device came back: when the controller's plant number was read before, the
// signature is read again to make sure the same controller answers. False when another one does:
// polling is stopped and the inputs stay marked as not current; expected and found receive the
// two numbers. An unanswered read proves nothing and counts as the same controller.
bool SameControllerAfterReturn(quint16& expected, quint16& found);
// "Vantor: отвечает другой прибор (зав. № 1235 вместо 1234), опрос остановлен".
QString OtherControllerText(const QString& title, quint16 expected, quint16 found);
