#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>

// Every exchange on the line is made while holding it: building the request, the transfer, the
// length test and the event-log line. Re-entrant, as a critical section is: a command run from a
// notification raised under it goes through.
extern std::recursive_mutex ExchangeLock;
// 10 or 16: the form of frames in the event log; anything else writes no exchange lines.
extern std::atomic<int> LogRadix;

// While the controller's system address is 0 (the broadcast address), only the set-address
// command may go on the line: a broadcast read is not Modbus, and a broadcast write would be
// carried out by every controller on the line without an answer.
bool AddressRefuses(int command);
// Why such a command was refused.
QString AddressUnsetText();

// The transmitter's device went away: nothing is sent to it until it is back. Any thread.
bool DeviceAway();

// One poll exchange of command 0..3 for the group starting at first, for the worker; true when
// the answer has the command's length. lineInDoubt tells whether an earlier exchange was left
// without an answer of its own, so that this answer may be that one's (ParseAnswer).
bool PollExchange(int command, int first, QByteArray& request, QByteArray& answer, bool& lineInDoubt);
// The parse refused a complete answer as another request's: the next exchange waits for a quiet
// line and is in doubt as after one that got no answer. Any thread.
void MarkLineInDoubt();
// One complete operator command in the UI thread: the result of ParseAnswer, false without an
// exchange when AddressRefuses it. An EConvertError of the parse passes on to the caller, without
// a log line.
bool ExecuteCommand(int command);
