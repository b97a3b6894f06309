#include "device/Exchange.h"

#include "common/ByteText.h"
#include "device/CommandTable.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

QMutex ExchangeLock;
std::atomic<int> LogRadix{0};

namespace {

// Longest answer read from the line.
constexpr int kAnswerLimit = 245;

// Under the exchange lock.
QByteArray Exchange(const QByteArray& request)
{
    QByteArray answer;
    if (TTransmitter* transmitter = Transmitter())
        transmitter->Transact(request, answer, kAnswerLimit);
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

bool PollExchange(int command, QByteArray& request, QByteArray& answer)
{
    const QMutexLocker lock(&ExchangeLock);
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    request = vantor->BuildReadRequest(command);
    answer = Exchange(request);
    const bool ok = answer.size() == CommandTable().AnswerLength(command);
    LogExchange(command, request, answer);
    return ok;
}

bool ExecuteCommand(int command)
{
    const QMutexLocker lock(&ExchangeLock);
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    const QByteArray request = vantor->BuildRequest(command);
    const QByteArray answer = Exchange(request);
    const bool result = vantor->ParseAnswer(command, request, answer);
    LogExchange(command, request, answer);
    return result;
}
