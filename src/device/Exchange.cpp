#include "device/Exchange.h"

#include "common/ByteText.h"
#include "device/CommandTable.h"
#include "device/Frames.h"
#include "device/UiThreadWait.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <algorithm>
#include <chrono>
#include <optional>

std::recursive_mutex ExchangeLock;
std::atomic<int> LogRadix{0};

namespace {

using TClock = std::chrono::steady_clock;

// Longest answer read from the line.
constexpr int kAnswerLimit = 245;
// A late answer is waited out for the read limit of the exchange that missed it (640 ms with the
// port's defaults), but never longer than this, whatever the port's time-outs say.
constexpr std::chrono::milliseconds kRecoveryCap{1000};

// Held through each transfer, by the thread making it: the request thread, or the UI thread's
// helper while the UI thread holds the exchange lock. A command run from a notification while
// another's transfer is out thus waits for the line, never goes on it beside the other.
std::mutex lineMutex;
// Under lineMutex: the last exchange ended without a complete answer of its own, and when.
bool lineSuspect = false;
TClock::time_point suspectSince;
// A parse found another request's answer, and when; taken up by the next exchange. Apart from
// lineMutex, so that marking never waits for a transfer.
std::mutex markMutex;
std::optional<TClock::time_point> doubtMarked;

// An answer whose frame ended: a cut or stray frame fails its CRC.
bool Complete(const QByteArray& answer)
{
    return answer.size() >= 4 && CheckCrc(answer);
}

// Under lineMutex.
void TakeUpDoubtMark()
{
    const std::lock_guard lock(markMutex);
    if (!doubtMarked)
        return;
    lineSuspect = true;
    suspectSince = std::max(suspectSince, *doubtMarked);
    doubtMarked.reset();
}

// Under lineMutex. A Modbus answer carries no register address, so a frame that comes after its
// exchange gave up would be taken for the next one's answer: after a failure the line must first
// have been quiet for a whole read limit.
QByteArray Transfer(TTransmitter& transmitter, const QByteArray& request, int expected, bool& lineInDoubt)
{
    QByteArray answer;
    TakeUpDoubtMark();
    lineInDoubt = lineSuspect;
    if (lineSuspect)
        transmitter.AwaitSilence(kAnswerLimit, suspectSince, kRecoveryCap);
    transmitter.Transact(request, answer, kAnswerLimit, expected > 0 ? expected : kAnswerLimit);
    // Nobody answers a broadcast: its silence leaves nothing late to wait out.
    const bool broadcast = !request.isEmpty() && request[0] == 0;
    lineSuspect = !broadcast && !Complete(answer);
    suspectSince = TClock::now();
    return answer;
}

// Under the exchange lock.
QByteArray Exchange(int command, const QByteArray& request, bool& lineInDoubt)
{
    QByteArray answer;
    lineInDoubt = false;
    TTransmitter* transmitter = Transmitter();
    if (!transmitter)
        return answer;
    const int expected = CommandTable().AnswerLength(command);
    WaitOffUiThread([&] {
        const std::lock_guard line(lineMutex);
        answer = Transfer(*transmitter, request, expected, lineInDoubt);
    });
    return answer;
}

// Under the exchange lock.
void LogExchange(int command, const QByteArray& request, const QByteArray& answer)
{
    TLog* log = EventLog();
    if (!log)
        return;
    switch (LogRadix) {
    case 10:
        log->WriteExchange(CommandTable().Name(command), ToDecText(request, true), ToDecText(answer, true));
        break;
    case 16:
        log->WriteExchange(CommandTable().Name(command), ToHexText(request), ToHexText(answer));
        break;
    default:
        break;
    }
}

}  // namespace

bool AddressRefuses(int command)
{
    const TVantor* vantor = Vantor();
    return vantor && vantor->SystemAddress() == 0 && command != cmdWriteAddress;
}

QString AddressUnsetText()
{
    return QStringLiteral("Системный адрес прибора не задан (0): сначала задайте системный адрес прибора");
}

bool DeviceAway()
{
    const TTransmitter* transmitter = Transmitter();
    return transmitter && transmitter->DeviceAway();
}

bool PollExchange(int command, int first, QByteArray& request, QByteArray& answer, bool& lineInDoubt)
{
    const std::lock_guard lock(ExchangeLock);
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    if (AddressRefuses(command))
        return false;
    request = vantor->BuildReadRequest(command, first);
    answer = Exchange(command, request, lineInDoubt);
    const bool ok = answer.size() == CommandTable().AnswerLength(command);
    LogExchange(command, request, answer);
    return ok;
}

bool ExecuteCommand(int command)
{
    const std::unique_lock lock = TakeExchangeLock();
    TVantor* vantor = Vantor();
    if (!vantor || AddressRefuses(command))
        return false;
    const QByteArray request = vantor->BuildRequest(command);
    bool lineInDoubt = false;
    const QByteArray answer = Exchange(command, request, lineInDoubt);
    const bool result = vantor->ParseAnswer(command, request, answer, lineInDoubt);
    if (vantor->AnswerForeign())
        MarkLineInDoubt();
    LogExchange(command, request, answer);
    return result;
}

void MarkLineInDoubt()
{
    const std::lock_guard lock(markMutex);
    doubtMarked = TClock::now();
}
