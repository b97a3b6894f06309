#pragma once

#include "device/DeviceStates.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
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

// Which exchange an answer came from, and how far it is known to be its request's.
struct TExchangeMark
{
    std::uint64_t Id = 0;
    TAnswerTrust Trust = atSettled;
};

// One poll exchange of command 0..3 for the group starting at first, for the worker; true when
// the answer has the command's length. Any exchange that did not end in an answer accepted as
// its own leaves the line in doubt: the next poll exchange then waits for a quiet line and asks
// until the same answer comes twice (at most three times), and mark says how that went. Each
// request and answer on the line is logged. Once stopping() says so the proof gives up: a program
// that closes does not wait for it.
bool PollExchange(int command, int first, QByteArray& request, QByteArray& answer, TExchangeMark& mark,
                  const std::function<bool()>& stopping = {});
// The parse accepted the answer of the exchange marked so as its request's: unless another
// exchange has been made since, the line is settled. Any thread.
void AnswerAccepted(const TExchangeMark& mark);
// One complete operator command in the UI thread: the result of ParseAnswer, false without an
// exchange when AddressRefuses it. In doubt it waits for a quiet line first and asks once: a
// write is never repeated. A broadcast waits until the last request's answer can no longer come,
// and fails when anything was heard on the line while it went out. An EConvertError of the parse
// passes on to the caller, without a log line.
bool ExecuteCommand(int command);
