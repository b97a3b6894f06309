#include "device/Exchange.h"

#include "common/ByteText.h"
#include "device/CommandTable.h"
#include "device/Frames.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <chrono>

std::recursive_mutex ExchangeLock;
std::atomic<int> LogRadix{0};

namespace {

using TClock = std::chrono::steady_clock;

// Longest answer read from the line.
constexpr int kAnswerLimit = 245;
// A late answer is waited out for the read limit of the exchange that missed it (640 ms with the
// port's defaults), but never longer than this, whatever the port's time-outs say.
constexpr std::chrono::milliseconds kRecoveryCap{1000};

// Under the exchange lock: the last exchange ended without a complete answer of its own, and when.
bool lineSuspect = false;
TClock::time_point suspectSince;

// An answer whose frame ended: a cut or stray frame fails its CRC.
bool Complete(const QByteArray& answer)
{
    return answer.size() >= 4 && CheckCrc(answer);
}

// Under the exchange lock. A Modbus answer carries no register address, so a frame that comes
// after its exchange gave up would be taken for the next one's answer: after a failure the line
// must first have been quiet for a whole read limit.
QByteArray Exchange(int command, const QByteArray& request, bool& lineInDoubt)
{
    QByteArray answer;
    lineInDoubt = lineSuspect;
    TTransmitter* transmitter = Transmitter();
    if (!transmitter)
        return answer;
    if (lineSuspect)
        transmitter->AwaitSilence(kAnswerLimit, suspectSince, kRecoveryCap);
    const int expected = CommandTable().AnswerLength(command);
    transmitter->Transact(request, answer, kAnswerLimit, expected > 0 ? expected : kAnswerLimit);
    // Nobody answers a broadcast: its silence leaves nothing late to wait out.
    const bool broadcast = !request.isEmpty() && request[0] == 0;
    lineSuspect = !broadcast && !Complete(answer);
    suspectSince = TClock::now();
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
    const std::lock_guard lock(ExchangeLock);
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
    const std::lock_guard lock(ExchangeLock);
    lineSuspect = true;
    suspectSince = TClock::now();
}
