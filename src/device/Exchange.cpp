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

#include <QList>

#include <chrono>

std::recursive_mutex ExchangeLock;
std::atomic<int> LogRadix{0};

namespace {

using TClock = std::chrono::steady_clock;

// Longest answer read from the line.
constexpr int kAnswerLimit = 245;
// In doubt a late answer is waited out for the read limit of the exchange that missed it (640 ms
// with the port's defaults), but never longer than this, whatever the port's time-outs say.
constexpr std::chrono::milliseconds kRecoveryCap{1000};
// A broadcast is never answered, so nothing would show that it fell into a late answer: it waits
// for the whole read limit of the request before it, however slow the line.
constexpr std::chrono::milliseconds kBroadcastCap{60000};
// In doubt the request goes out until the same answer has come twice, at most this often.
constexpr int kProofAttempts = 3;

// Held through each transfer, by the thread making it: the request thread, or the UI thread's
// helper while the UI thread holds the exchange lock. A command run from a notification while
// another's transfer is out thus waits for the line, never goes on it beside the other.
std::mutex lineMutex;
// Under lineMutex: the last request that went out, when its transfer ended, the sizes of its
// read limit, and whether it left nothing to wait for (a broadcast that heard nothing).
std::uint64_t lastTransfer = 0;
std::uint64_t lastOpen = 0;  // the port's open it went out on
TClock::time_point lastEnded;
int lastRequestBytes = 0;
int lastLongest = kAnswerLimit;
bool lastClosedItself = false;
// The last transfer whose answer a parse accepted as its own. Apart from lineMutex, so that
// accepting never waits for a transfer.
std::atomic<std::uint64_t> acceptedTransfer{0};

// An answer whose frame ended: a cut or stray frame fails its CRC.
bool Complete(const QByteArray& answer)
{
    return answer.size() >= 4 && CheckCrc(answer);
}

bool Broadcast(const QByteArray& request)
{
    return !request.isEmpty() && request[0] == 0;
}

// What one exchange put on the line: the answer of each time its request went out, the last
// being the exchange's.
struct TLineExchange
{
    QList<QByteArray> Answers;
    TExchangeMark Mark;
};

// Under lineMutex.
QByteArray TransferOnce(TTransmitter& transmitter, const QByteArray& request, int longest)
{
    QByteArray answer;
    transmitter.Transact(request, answer, kAnswerLimit, longest);
    ++lastTransfer;
    lastOpen = transmitter.OpenSerial();
    lastEnded = TClock::now();
    lastRequestBytes = static_cast<int>(request.size());
    lastLongest = longest;
    lastClosedItself = Broadcast(request) && answer.isEmpty();
    return answer;
}

// Under lineMutex. A Modbus answer carries no transaction number, so a frame that comes after its
// exchange gave up would be taken for the next one's answer. After an exchange that did not end
// in an answer of its own, the line must first fall quiet; then, with prove, the request goes out
// again until the same answer has come twice: both came to this request after a quiet line. The
// proof, unlike the exchange itself, ends as soon as stopping() says so.
TLineExchange Transfer(TTransmitter& transmitter, const QByteArray& request, int expected, bool prove,
                       const std::function<bool()>& stopping)
{
    const auto stopped = [&] { return stopping && stopping(); };
    TLineExchange result;
    const int longest = expected > 0 ? expected : kAnswerLimit;
    // A port opened anew has purged whatever came before.
    const bool sameOpen = transmitter.OpenSerial() == lastOpen;
    const bool doubt = sameOpen && lastTransfer != 0 && !lastClosedItself && acceptedTransfer.load() != lastTransfer;
    bool quiet = true;
    if (doubt && !stopped())
        quiet = transmitter.AwaitSilence(lastRequestBytes, lastLongest, lastEnded,
                                         Broadcast(request) ? kBroadcastCap : kRecoveryCap);
    result.Mark.Trust = doubt ? atDoubtful : atSettled;
    // A line that would not fall quiet is someone else's talk: nothing heard then proves anything.
    const int attempts = doubt && prove && quiet ? kProofAttempts : 1;
    bool anyComplete = false;
    for (int i = 0; i < attempts && (i == 0 || !stopped()); ++i) {
        const QByteArray answer = TransferOnce(transmitter, request, longest);
        const bool repeated = Complete(answer) && result.Answers.contains(answer);
        anyComplete = anyComplete || Complete(answer);
        result.Answers.push_back(answer);
        if (repeated) {
            result.Mark.Trust = atRepeated;
            break;
        }
        // Without a complete answer so far nothing can come twice: the exchange fails as it is.
        if (!anyComplete)
            break;
    }
    result.Mark.Id = lastTransfer;
    return result;
}

// Under the exchange lock.
TLineExchange Exchange(int command, const QByteArray& request, bool prove, const std::function<bool()>& stopping = {})
{
    TLineExchange exchange;
    TTransmitter* transmitter = Transmitter();
    if (!transmitter) {
        exchange.Answers.push_back({});
        return exchange;
    }
    const int expected = CommandTable().AnswerLength(command);
    WaitOffUiThread([&] {
        const std::lock_guard line(lineMutex);
        exchange = Transfer(*transmitter, request, expected, prove, stopping);
    });
    return exchange;
}

// Under the exchange lock: every time the request went out.
void LogExchange(int command, const QByteArray& request, const QList<QByteArray>& answers)
{
    TLog* log = EventLog();
    if (!log)
        return;
    for (const QByteArray& answer : answers) {
        switch (LogRadix) {
        case 10:
            log->WriteExchange(CommandTable().Name(command), ToDecText(request, true), ToDecText(answer, true));
            break;
        case 16:
            log->WriteExchange(CommandTable().Name(command), ToHexText(request), ToHexText(answer));
            break;
        default:
            return;
        }
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

bool PollExchange(int command, int first, QByteArray& request, QByteArray& answer, TExchangeMark& mark,
                  const std::function<bool()>& stopping)
{
    const std::lock_guard lock(ExchangeLock);
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    if (AddressRefuses(command))
        return false;
    request = vantor->BuildReadRequest(command, first);
    // Reads only: asking again changes nothing on the controller.
    const TLineExchange exchange = Exchange(command, request, true, stopping);
    answer = exchange.Answers.back();
    mark = exchange.Mark;
    LogExchange(command, request, exchange.Answers);
    return answer.size() == CommandTable().AnswerLength(command);
}

void AnswerAccepted(const TExchangeMark& mark)
{
    acceptedTransfer = mark.Id;
}

bool ExecuteCommand(int command)
{
    const std::unique_lock lock = TakeExchangeLock();
    TVantor* vantor = Vantor();
    if (!vantor || AddressRefuses(command))
        return false;
    const QByteArray request = vantor->BuildRequest(command);
    const TLineExchange exchange = Exchange(command, request, false);
    const QByteArray& answer = exchange.Answers.back();
    const bool result = vantor->ParseAnswer(command, request, answer, exchange.Mark.Trust);
    if (result)
        AnswerAccepted(exchange.Mark);
    LogExchange(command, request, exchange.Answers);
    // Nobody answers a broadcast; what was heard while it went out may have drowned it.
    return Broadcast(request) ? answer.isEmpty() : result;
}
